" Orvane scripts end in .ov.
autocmd BufRead,BufNewFile *.ov setfiletype orvane
