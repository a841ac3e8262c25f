label a:
    x
label b:
    y