label R28:
x
if a:
    y
z
label r28:
w
