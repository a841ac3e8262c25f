label ÿþ:
    e "Ã(  … â‚ ð(Œ( À¯"
    $  x… = 1
    jump_out í €
