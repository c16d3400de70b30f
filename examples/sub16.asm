; 16-bit subtraction: SUB on the low bytes, then SBC borrows from the high bytes.
;
; 4720h - 1230h = 34F0h: 20h - 30h needs a borrow, which SUB leaves as
; CF = 0, and SBC takes it from 47h - 12h. NOP and NOP1, the two one-byte
; codes that do nothing (50h and 51h), take four cycles each between the
; halves.
;
; expect: halted after 58 cycles, A = 34h, CF = 1, ZF = 0
; expect: memory 0020h = 47h 20h 12h 30h 34h F0h

        lda x + 1       ; low bytes: 20h - 30h = F0h, CF = 0 (a borrow)
        sub y + 1
        sta diff + 1
        nop             ; four cycles doing nothing
        nop1            ; the same, code 51h
        lda x           ; high bytes: 47h - 12h - 1 = 34h, CF = 1 (no borrow)
        sbc y
        sta diff
        hlt

        org 20h
x:      dw 4720h
y:      dw 1230h
diff:   dw 0
