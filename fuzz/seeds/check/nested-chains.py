label a:
    if x:
        if y:
            e "a" b
            if z
                w = 1
            elif q != 1:
                r = (
        else:
            s ==
    t = [[
    u = 1
label b"c:
    v = 1
