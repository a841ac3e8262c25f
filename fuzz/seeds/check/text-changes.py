label a:
    e "call me"
    e "path_end;"
    if x == "a:b":
        y = 1
    e "    four"
    e 'x+=1'
