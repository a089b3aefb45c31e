" Editing settings for Orvane scripts.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring=#\ %s
setlocal comments=s1:/*,mb:*,ex:*/,:#
setlocal formatoptions-=t formatoptions+=croql
setlocal expandtab shiftwidth=2 softtabstop=2
" Names may continue with any letter or digit, but the keyword motions only need ASCII.
setlocal iskeyword=a-z,A-Z,48-57,_
setlocal suffixesadd=.ov

let b:undo_ftplugin = 'setlocal commentstring< comments< formatoptions< expandtab<'
      \ . ' shiftwidth< softtabstop< iskeyword< suffixesadd<'
