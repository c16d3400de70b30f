loop:   lda c
        sub one
        sta c
        jz done
        jmp loop
done:   hlt
c:      db 3
one:    db 1
