" Syntax highlighting for Orvane scripts (.ov).
if exists('b:current_syntax')
  finish
endif

syntax case match

syntax keyword orvaneStatement let return break continue global
syntax keyword orvaneConditional if else match
syntax keyword orvaneRepeat while for in
syntax keyword orvaneException try catch
syntax keyword orvaneBoolean true false
syntax keyword orvaneOperatorWord and or not
syntax keyword orvaneBuiltin len pop abs pow min max push sqrt ceil rect fill draw print input
syntax keyword orvaneBuiltin upper lower slice split floor round clear color concat random
syntax keyword orvaneBuiltin typeof window circle reverse is_dict present is_open contains
syntax keyword orvaneBuiltin is_array triangle is_number is_string random_range window_width
syntax keyword orvaneBuiltin window_height

syntax keyword orvaneDef def nextgroup=orvaneFunctionName skipwhite
syntax match orvaneFunctionName /\h\w*/ contained

" Digits, a dot and digits make a float; `1..3` is two numbers around a range.
syntax match orvaneFloat /\<\d\+\.\d\+/
syntax match orvaneNumber /\<\d\+\%(\.\d\)\@!/

syntax match orvaneOperator /\*\*\|[-+*/]=\?\|[=!<>]=\|=>\|->\|[<>=!%?]\|\.\./

" Only \n \t \r \\ and \" are escapes; any other backslash stands for itself. A string may
" span lines, and one left open runs to the end of the file.
syntax match orvaneEscape /\\[ntr\\"]/ contained
syntax region orvaneString start=/"/ skip=/\\\\\|\\"/ end=/"/ contains=orvaneEscape

syntax keyword orvaneTodo TODO FIXME XXX NOTE contained
syntax match orvaneComment /#.*$/ contains=orvaneTodo,@Spell
" Block comments do not nest; `/*/` does not close one.
syntax region orvaneBlockComment start=+/\*+ end=+\*/+ contains=orvaneTodo,@Spell

syntax sync minlines=200

highlight default link orvaneStatement Statement
highlight default link orvaneConditional Conditional
highlight default link orvaneRepeat Repeat
highlight default link orvaneException Exception
highlight default link orvaneBoolean Boolean
highlight default link orvaneOperatorWord Operator
highlight default link orvaneOperator Operator
highlight default link orvaneBuiltin Function
highlight default link orvaneDef Statement
highlight default link orvaneFunctionName Function
highlight default link orvaneNumber Number
highlight default link orvaneFloat Float
highlight default link orvaneString String
highlight default link orvaneEscape SpecialChar
highlight default link orvaneComment Comment
highlight default link orvaneBlockComment Comment
highlight default link orvaneTodo Todo

let b:current_syntax = 'orvane'
