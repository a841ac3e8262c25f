# A short tour of every statement form Brindle understands.
$ met_guide = False
$ coins = 0

label start:
    e "Welcome to the harbour town."
    $ coins += 5
    call show_text ("The tide is low.")
    if coins > 3:
        e "You can afford the ferry."
        $ met_guide = True
    elif coins > 0:
        e "Almost enough for the ferry."
    else:
        e "Your pockets are empty."
    jump_out market

label market:
    e "Stalls line the quay."
    $ coins -= 2
    if met_guide:
        g "Follow me."
        if coins >= 3:
            g "Buy the map first."
            $ coins -=3
        else:
            g "We will manage without a map."
    else:
        e "Nobody pays you any attention."
        path_end
    call play_sound (is_h=True)
    jump_out lighthouse

label lighthouse:
    e "The lamp turns above you."
    path_end
