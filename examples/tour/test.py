label start:
    $ coins = 0
    $ day = 0
    $ met_guide = False
    $ has_map = False
    e "Welcome to the harbour town."
    call show_text ("The tide is low.")
    jump_out morning

label morning:
    $ day += 1
    $ coins += 4
    e "Another morning by the water."
    if day == 1:
        e "The ferry leaves at noon."
    elif day == 2:
        e "Gulls circle the pier."
        $ met_guide = True
    else:
        e "Rain drums on the roofs."
    jump_out market

label market:
    e "Stalls line the quay."
    $ coins -= 1
    if met_guide:
        g "Follow me."
        if coins >= 8:
            g "Buy the map first."
            $ coins -=3
            $ has_map = True
            if day > 3:
                g "And a lantern, for the dark."
                $ coins -= 2
            else:
                g "Lanterns are sold out today."
            g "Now we are ready."
        elif coins > 0:
            g "You cannot afford the map yet."
        else:
            g "Your purse is empty."
            path_end
        g "Back to the boats."
    else:
        e "Nobody pays you any attention."
    call play_sound (is_h=True)
    if has_map:
        jump_out lighthouse
    jump_out morning

label lighthouse:
    e "The lamp turns above you."
    if coins > 3:
        e "You tip the keeper."
        $ coins -= 1
        path_end
    e "The keeper shrugs."
    path_end
    e "Nobody ever reads this line."
