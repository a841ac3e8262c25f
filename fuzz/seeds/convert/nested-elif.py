label start:
	if a:
		x = 1
		if b:
			x = 2
		y = 1
	elif c:
		x = 3
	else:
	z = 1
