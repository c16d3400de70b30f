        lda nowhere
        frob 1
x:      db 300
x:      hlt
        org later
later   equ 5
a equ b
b equ a
        db "open
        db 'ab'
        db 12x
        hlt 1
