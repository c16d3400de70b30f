        org 0FFFEh
        dw 1, 2
        org 0
        db 1
        org 0
        db 2
