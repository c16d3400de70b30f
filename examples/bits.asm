; Bit operations: OR sets bits, AND clears them, XOR flips them, and rotations swap a byte's halves.
;
; None of these change the flags, so both stay 0 from Reset.
;
; expect: halted after 94 cycles, A = 79h, CF = 0, ZF = 0
; expect: memory 0030h = DBh D0h 2Fh F2h 79h

        lda value       ; 5Ah = 0101 1010
        or setMask      ; DBh = 1101 1011: bits 7 and 0 set
        sta results
        and clearMask   ; D0h = 1101 0000: the low four bits cleared
        sta results + 1
        xor flipMask    ; 2Fh = 0010 1111: every bit flipped
        sta results + 2
        ror             ; four rotations swap the halves:
        ror
        ror
        ror             ; F2h = 1111 0010
        sta results + 3
        shr             ; 79h = 0111 1001: a 0 comes in at the top
        sta results + 4
        hlt

value:      db 5Ah
setMask:    db 10000001b
clearMask:  db 0F0h
flipMask:   db 0FFh

        org 30h
results:    db 0, 0, 0, 0, 0
