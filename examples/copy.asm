; A block copy by a program that rewrites the addresses in its own LDA and STA (there is no index register).
;
; Sixteen bytes are copied from 00F8h to 0200h. After each byte the program
; adds 1 to the address inside the LDA and the STA, with ADC carrying into
; the high byte when the source crosses from 00FFh to 0100h.
;
; expect: halted after 2386 cycles, A = 00h, CF = 1, ZF = 1
; expect: memory 0200h = 54h 61h 72h 6Eh 77h 69h 63h 6Bh 20h 72h 65h 6Ch 61h 79h 73h 21h
; expect: memory 001Eh = 10h 01h 08h 11h 02h 10h

length  equ 16
dest    equ 0200h

start:  lda from        ; point the LDA at the source...
        sta fetch + 1
        lda from + 1
        sta fetch + 2
        lda to          ; ...and the STA at the destination
        sta store + 1
        lda to + 1
        sta store + 2
        lda count       ; bytes to go
        sta left
fetch:  lda 0           ; the address is filled in above and advanced below
store:  sta 0
        lda fetch + 2   ; source address + 1: the low byte...
        add one
        sta fetch + 2
        lda fetch + 1   ; ...then the high byte with the carry
        adc zero
        sta fetch + 1
        lda store + 2   ; destination address + 1, the same way
        add one
        sta store + 2
        lda store + 1
        adc zero
        sta store + 1
        lda left        ; one byte fewer to go
        sub one
        sta left
        jnz fetch
        hlt

from:   dw source       ; addresses are stored high byte first,
to:     dw dest         ;   just as in an instruction
count:  db length
left:   db 0
one:    db 1
zero:   db 0

        org 0F8h
source: db "Tarnwick relays!"
