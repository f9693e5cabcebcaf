# fish completion for voskan: a picture to open, or one of its two options.
complete -c voskan -l version -d 'Version ausgeben'
complete -c voskan -l help -s h -d 'Hilfe ausgeben'
