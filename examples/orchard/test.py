label start:
	$ apples = 0
	$ pears = 0
	$ ladder = False
	$ rounds = 0
	call play_music ("birdsong")
	n "Mira wakes before the sun and walks to the orchard."
	jump_out gate

label gate:
	$ rounds += 1
	n "The gate creaks open."
	if rounds == 1:
		m "First the shed, then the trees."
		jump_out shed
	elif rounds == 2:
		m "Back again, with a ladder this time."
	else:
		m "One last look."
		jump_out market
	jump_out trees

label shed:
	n "Rakes, baskets and a rusty ladder."
	if ladder:
		m "I already have it."
	else:
		$ ladder = True
		m "The ladder will do."
	jump_out gate

label trees:
	n "Rows of trees stand in the mist."
	if ladder:
		$ apples += 6
		if apples > 4:
			m "A full basket of apples."
			if pears == 0:
				$ pears +=2
				m "And two pears from the old tree."
			else:
				m "The pear tree is bare now."
		else:
			m "Only a few apples so far."
	else:
		m "The branches are out of reach."
	jump_out gate

label market:
	call show_scene ("market")
	if apples >= 6 and pears > 0:
		t "Fine fruit! I will take it all."
		$ apples -= 6
		$ pears -= 2
	elif apples > 0:
		t "Apples only? Half price."
	else:
		t "Come back when you have something to sell."
	call hide_scene ("market")
	n "Mira walks home with an empty basket."
	path_end
