label start:
    # a comment
    "It was a dark night."
    if coins != 2:
        e "a" b
        x = (
    elif a && b
        y = [[
    else if c:
        z = 1
    e "\q"
    $ renpy.pause(1.0)
    jump_out nowhere
label start:
