; Fibonacci numbers written to a table until the carry flag says the next one no longer fits in a byte.
;
; 1 1 2 3 5 8 13 21 34 55 89 144 233 go to 0080h-008Ch; 144 + 233 = 377
; does not fit, so the last addition leaves 377 - 256 = 121 (79h) and CF = 1.
;
; expect: halted after 1474 cycles, A = 79h, CF = 1, ZF = 0
; expect: memory 0080h = 01h 01h 02h 03h 05h 08h 0Dh 15h 22h 37h 59h 90h E9h 00h

table   equ 0080h       ; within one 256-byte page, so only the low byte moves

start:  lda zero        ; x = 0, y = 1, and the STA below points at the table
        sta x
        lda one
        sta y
        lda tableAt
        sta put + 1
        lda tableAt + 1
        sta put + 2
loop:   lda y
put:    sta 0           ; the address is advanced after each store
        lda put + 2
        add one
        sta put + 2
        lda x
        add y           ; the next number; CF = 1 when it does not fit
        jc done
        sta next
        lda y           ; x, y = y, next
        sta x
        lda next
        sta y
        jmp loop
done:   hlt

tableAt: dw table
x:      db 0
y:      db 0
next:   db 0
one:    db 1
zero:   db 0
