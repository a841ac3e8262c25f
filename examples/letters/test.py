label start:
    $ letters = 0
    $ answered = False
    call show_scene ("attic")
    n "In the attic, under a blanket, stands a box of letters."
    jump_out read

label read:
    $ letters += 1
    if letters == 1:
        a "Dear Ines, the ship leaves on Tuesday. Wait for me."
    elif letters == 2:
        a "Dear Ines, the winter here is long. Do you still wait?"
    elif letters == 3:
        a "Dear Ines, this is the last letter I can send."
        if answered:
            n "Her answer is folded inside it."
        else:
            n "There is no answer in the box."
            jump_out attic_window
    else:
        path_end
    jump_out read

label attic_window:
    n "Rain taps on the small window."
    i "I waited. I wait still."
    call show_text ("The End")
    path_end
