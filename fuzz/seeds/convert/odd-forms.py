label
$
jump_out
jump_out  x
jump_out out
jump_out True
else: path_end
elif a: path_end
$ x+=1
 x += 1
x += 1
if a: b
label a:b:
label  start
  label x
else : 
$ recall = 1
call a; call b
TrueColor
$ price = "$5"
x path_end
path_end; path_end
$ path_end;x = 1
label path_end;:
