label start:
    $ day = 0
    $ food = 30
    $ water = 30
    $ crew = 5
    $ morale = 5
    $ gold = 20
    $ storm_seen = False
    $ map_found = False
    $ island_visited = False
    $ mutiny = False
    $ captain_hurt = False
    call play_music ("harbour")
    call show_scene ("dock")
    n "The Grey Heron rocks against the dock at first light."
    c "Five hands, thirty barrels of water, thirty of salted fish."
    c "It will have to be enough."
    r "The wind is from the east, captain."
    c "Then we sail west, and we sail now."
    call hide_scene ("dock")
    jump_out provision

label provision:
    n "Before casting off, there is gold to spend."
    if gold >= 15:
        q "Fresh water, captain? Three barrels for ten gold."
        $ gold -= 10
        $ water += 3
        if gold >= 5:
            q "And salted pork for the rest."
            $ gold -= 5
            $ food += 4
        else:
            q "That is all your purse allows."
    elif gold >= 5:
        q "A barrel of water, no more."
        $ gold -= 5
        $ water += 1
    else:
        q "No gold, no goods."
    c "Load it all. We leave on the tide."
    jump_out open_sea

label open_sea:
    $ day += 1
    $ food -= crew
    $ water -= crew
    call show_scene ("deck")
    n "Another day under the sail."
    if food <= 0:
        n "The last of the fish is gone."
        jump_out starving
    elif water <= 0:
        n "The barrels ring hollow."
        jump_out starving
    if day == 1:
        r "Calm water, steady wind."
        $ morale += 1
        jump_out night_watch
    elif day == 2:
        jump_out storm
    elif day == 3:
        jump_out island
    elif day == 4:
        jump_out doldrums
    else:
        jump_out landfall
    jump_out open_sea

label night_watch:
    call show_scene ("night")
    call play_music ("waves")
    n "Night falls. Stars crowd the sky from rim to rim."
    r "Who takes the first watch?"
    if morale >= 6:
        s "I will. I like the quiet."
        n "Sandor keeps watch until the moon sets."
        if crew >= 5:
            s "Wake the next one, and I sleep."
            r "Tomas has the middle watch."
        else:
            s "There is nobody to wake. I stay."
            $ morale -= 1
    else:
        n "Nobody answers. The captain takes the watch alone."
        $ captain_hurt = True
    n "Something large moves under the hull, then is gone."
    s "A whale, I think. A big one."
    r "Or the sea itself, turning over in its sleep."
    call hide_scene ("night")
    jump_out fishing

label fishing:
    n "At dawn the crew lowers the nets."
    if food < 20:
        n "The nets come up heavy."
        $ food += 4
        r "Mackerel! Enough for two days."
    else:
        n "The nets come up with weed and one angry crab."
        s "I will name him Admiral."
        $ morale += 1
    jump_out open_sea

label storm:
    $ storm_seen = True
    call play_sound (is_h=True)
    call show_scene ("storm")
    n "Black clouds pile up in the south."
    r "Reef the sails! Everyone on deck!"
    if morale >= 5:
        n "The crew works as one."
        if crew >= 5:
            n "Every rope is held, every sail reefed in time."
            $ morale += 1
        else:
            n "They are too few, but they hold."
            $ morale -= 1
    elif morale >= 3:
        n "The crew obeys, slowly."
        $ water -= 2
        r "We lost two barrels over the side."
    else:
        n "Half the crew hides below."
        $ captain_hurt = True
        $ morale -= 2
    call hide_scene ("storm")
    if captain_hurt:
        c "My arm... it is nothing. Hold the course."
    else:
        c "Well done, all of you."
    jump_out open_sea

label island:
    call show_scene ("island")
    n "A green hump rises out of the sea."
    r "Land! Small, but land."
    if water < 8:
        c "We need that spring."
        $ water += 6
        $ island_visited = True
        n "The crew fills every barrel at a clear spring."
    else:
        c "We have water enough. But I want a look."
        $ island_visited = True
    if island_visited:
        n "Among the rocks lies an old sea chest."
        if morale > 4:
            r "Shall we open it?"
            c "Open it."
            $ map_found = True
            $ gold += 15
            if storm_seen:
                n "Under the coins lies a chart, stained by old storms."
            else:
                n "Under the coins lies a chart, still dry."
        else:
            n "Nobody wants to touch it."
            r "Bad luck, captain. Leave it."
    call hide_scene ("island")
    jump_out open_sea

label doldrums:
    call show_scene ("flat_sea")
    n "The wind dies. The sea turns to glass."
    $ morale -= 1
    if morale <= 2:
        jump_out mutiny_brews
    r "We could row, captain."
    if crew >= 4:
        c "Then row."
        $ food -= 2
        n "Two days of rowing cost two days of food."
    else:
        c "We are too few to row. We wait."
        $ water -= 2
    call hide_scene ("flat_sea")
    jump_out open_sea

label mutiny_brews:
    $ mutiny = True
    s "We should turn back, before we all die out here."
    r "Hold your tongue."
    if map_found:
        c "We have a chart, and the chart says land is near."
        $ morale += 2
        s "...Aye, captain."
        jump_out open_sea
    elif gold >= 20:
        c "Every one of you gets a share of the chest."
        $ gold -= 20
        $ morale += 1
        jump_out open_sea
    else:
        s "Then we take the ship."
        jump_out starving

label starving:
    call play_music ("lament")
    n "Days pass. The horizon stays empty."
    if mutiny:
        n "The crew takes the ship back east without their captain."
    else:
        n "The Grey Heron drifts, and is never seen again."
    path_end

label landfall:
    call play_music ("arrival")
    call show_scene ("coast")
    n "On the sixth morning a coastline rises from the haze."
    r "Land ahoy! Real land, with smoke from chimneys!"
    if map_found:
        c "Just where the chart said it would be."
        $ morale += 2
    else:
        c "Luck, nothing but luck."
    jump_out harbour_town

label harbour_town:
    call show_scene ("town")
    n "The harbour master counts the crew as they come ashore."
    if crew == 5:
        h "All five of you? Few crews arrive whole."
    else:
        h "Fewer than you set out with, I see."
    if gold >= 30:
        h "And rich, too. Welcome."
        $ gold -= 5
        n "The berth costs five gold."
    elif gold >= 5:
        h "Five gold for the berth."
        $ gold -= 5
    else:
        h "No gold? Then you sleep on the ship."
    jump_out tavern

label tavern:
    call show_scene ("tavern")
    call play_music ("fiddle")
    n "The tavern is loud and warm."
    if morale >= 6:
        r "Drinks for everyone! The captain pays!"
        if gold >= 5:
            $ gold -= 5
            c "Just this once."
        else:
            c "With what gold?"
            $ morale -= 1
    elif morale >= 3:
        r "A quiet drink, then sleep."
    else:
        n "The crew drinks in silence, and one by one they leave."
        $ crew -= 2
    jump_out ending

label ending:
    call show_scene ("sunset")
    if crew >= 5:
        if morale >= 7:
            n "Years later they still tell the story of the Grey Heron."
            c "The best crew I ever sailed with."
        elif morale >= 4:
            n "The crew signs on again for the next voyage."
        else:
            n "They part ways at the dock, tired but alive."
    else:
        n "The captain sails home with a new crew."
        if captain_hurt:
            c "And a scar to remember the old one by."
    if map_found:
        n "The stained chart hangs above the captain's bed."
    n "The Grey Heron is hauled up the slip for the winter."
    n "Her hull is scraped, her sails mended, her ropes replaced."
    if gold >= 20:
        c "Next spring we sail south, to the spice coast."
        r "I will be on deck, captain."
    elif gold > 0:
        c "Next spring, perhaps. If the gold holds."
    else:
        c "Next spring I will find honest work ashore."
        r "You said that last year."
    call play_music ("credits")
    call show_text ("The End")
    path_end
