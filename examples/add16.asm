; 16-bit addition: ADD on the low bytes, then ADC carries into the high bytes.
;
; 34F0h + 1230h = 4720h: F0h + 30h = 120h leaves 20h and a carry of 1,
; which ADC adds to 34h + 12h.
;
; expect: halted after 50 cycles, A = 47h, CF = 0, ZF = 0
; expect: memory 0020h = 34h F0h 12h 30h 47h 20h

        lda x + 1       ; low bytes: a word is stored high byte first,
        add y + 1       ;   so the low byte is at the word's address + 1
        sta sum + 1
        lda x           ; high bytes, plus the carry from the low bytes
        adc y
        sta sum
        hlt

        org 20h
x:      dw 34F0h
y:      dw 1230h
sum:    dw 0
