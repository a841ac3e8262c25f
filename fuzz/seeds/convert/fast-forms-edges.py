label fast:
    $ a -= 1
    $ b+= 2
    $ c += d -= 3
    $ e -=  4
    $ #tag = "x"
    $ f = &g
    if a:b:
        call show (True)
        call  show (False)
        call is_h=True
    elif a:elif:
        $ x = 1
    elif el:if b:
        $ y = True
    elif c	:
        jump_out jump
    else:
        jump_out _out
        jump_out out_
    path_end
    if x:path_end
    e "FT"
    e "'quoted' #hash &amp"
    $ cal = Fal
    Tru

    call
$ z += 1
