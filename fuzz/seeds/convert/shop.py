label start:
    $ money += 10
    call show_text (1)
    if money > 5:
        jump_out shop
    elif is_h=True:
        $ seen = True
    else:
        path_end
    $ money -= 2
