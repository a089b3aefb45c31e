" Reads rows of FILE<Tab>MARKER<Tab>TOKEN<Tab>GROUP from $PROBE_TABLE, opens each file with
" the Orvane syntax, and writes one line per row to $PROBE_OUT: "ok" or what went wrong. The
" token is looked up on the first line holding the marker; GROUP may start with "!" for a
" group the token must not have.
set nomore
let s:out = []
for s:row in readfile($PROBE_TABLE)
  if s:row =~ '^\s*$' || s:row =~ '^"'
    continue
  endif
  let [s:file, s:marker, s:token, s:group] = split(s:row, '\t', 1)
  " Reloading the same buffer would leave the syntax engine's cached line state stale.
  if expand('%') !=# s:file
    execute 'silent edit! ' . fnameescape(s:file)
  endif
  let s:lnum = search('\V' . escape(s:marker, '\'), 'cw')
  if s:lnum == 0
    call add(s:out, s:row . ': no line holds the marker')
    continue
  endif
  let s:col = stridx(getline(s:lnum), s:token) + 1
  if s:col == 0
    call add(s:out, s:row . ': the token is not on line ' . s:lnum)
    continue
  endif
  let s:name = synIDattr(synID(s:lnum, s:col, 1), 'name')
  let s:ok = s:group[0] == '!' ? s:name !=# s:group[1:] : s:name ==# s:group
  call add(s:out, s:ok ? 'ok' : s:row . ': got "' . s:name . '" at ' . s:lnum . ':' . s:col)
  call cursor(1, 1)
endfor
call writefile(s:out, $PROBE_OUT)
qall!
