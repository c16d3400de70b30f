n equ (3 + 4) * 2 - 1
m equ n / 3 % 2
        org 10h
start:  lda table + n
        jmp start
table:  db 1, 2, 'a', "hi\n", -1, 0FFh, 101b, 0b11, 0x1F
        dw start, 1234h
