label start:
    e "line 0 says nothing of note here."
    e "line 1 says nothing of note here."
    e "line 2 says nothing of note here."
    e "line 3 says nothing of note here."
    e "line 4 says nothing of note here."
    e "line 5 says nothing of note here."
    e "line 6 says nothing of note here."
    e "line 7 says nothing of note here."
    e "line 8 says nothing of note here."
    e "line 9 says nothing of note here."
    e "line 10 says nothing of note here."
    e "line 11 says nothing of note here."
    e "line 12 says nothing of note here."
    e "line 13 says nothing of note here."
    e "line 14 says nothing of note here."
    e "line 15 says nothing of note here."
    e "line 16 says nothing of note here."
    e "line 17 says nothing of note here."
    e "line 18 says nothing of note here."
    e "line 19 says nothing of note here."
    e "line 20 says nothing of note here."
    e "line 21 says nothing of note here."
    e "line 22 says nothing of note here."
    m "a long line a long line a long line a long line a long line a long line and then; at last."
    path_end;
    if coins > 2:
        jump_out harbour;
    path_end
