; a byte order mark and CRLF line ends
        lda 20h
        hlt
