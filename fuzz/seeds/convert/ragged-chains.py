label a:
else:
    x
elif b:
if a:
			x
		elif b:
	else:
else:
if a:
    if b:
        if c:
            path_end
    else:
        path_end
    path_end
if z:
    	end
	end
end
