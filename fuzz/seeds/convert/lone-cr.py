label a:xy
z

if a:    b