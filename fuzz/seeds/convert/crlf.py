$ met = 0
$ score = 0
label start:
    score = 1
    if met:
        score = 2
    else:
        score = 3
    path_end
label empty:
