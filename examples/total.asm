; A table of bytes added up into a 16-bit total, with the assembler's directives and expressions.
;
; 200 + 100 + 50 + 255 + 10 = 615 = 0267h. The LDA at `fetch` has its
; address rewritten to step through the table.
;
; expect: halted after 602 cycles, A = 67h, CF = 1, ZF = 1
; expect: memory 004Ch = 02h 67h

count   equ 5                   ; entries in the table

start:  lda tableAt             ; point the LDA below at the table:
        sta fetch + 1           ;   high byte of the address,
        lda tableAt + 1
        sta fetch + 2           ;   low byte
        lda zero                ; total = 0
        sta total
        sta total + 1
        lda length              ; entries to go
        sta left
fetch:  lda 0                   ; the current entry
        add total + 1           ; total = total + entry, 16 bits:
        sta total + 1           ;   the low byte,
        lda total
        adc zero                ;   then the carry into the high byte
        sta total
        lda fetch + 2           ; the next entry (the table does not
        add one                 ;   cross a 256-byte page)
        sta fetch + 2
        lda left                ; one entry fewer to go
        sub one
        sta left
        jnz fetch
        lda total + 1           ; the low byte of the total
        hlt

tableAt: db HIGH table, LOW table
length: db count
left:   db 0
one:    db 1
zero:   db 0
total:  dw 0                    ; high byte first
table:  db 200, 100, 50, 0FFh, 1010b
