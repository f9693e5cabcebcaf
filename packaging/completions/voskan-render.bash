# bash completion for voskan-render. The options and look fields are those of
# `voskan-render --help`; the install test checks that they still are.

_voskan_render()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
    --style | --dark-style)
        COMPREPLY=($(compgen -W "blur flow mirror" -- "$cur"))
        return ;;
    --preset)
        COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur"))
        return ;;
    --day-cycle)
        COMPREPLY=($(compgen -W "5 8 16" -- "$cur"))
        return ;;
    --set | --dark-set)
        compopt -o nospace
        COMPREPLY=($(compgen -S = -W "style blur brightness saturation contrast dither flowColor0 flowColor1 flowColor2 flowBands flowAmplitude flowFrequency flowSharpness flowEdgeSoftness flowPhase mirrorLine mirrorAmplitude mirrorFrequency mirrorPhase mirrorHardness mirrorDepth mirrorSideFade" -- "$cur"))
        return ;;
    --size | --unsplash | --pick | --key | --daily | --at)
        return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--style --size --preset --set --dark-style --dark-set --dark-photo --day-cycle --unsplash --pick --key --preview --timings --set-desktop --follow --daily --at --at-login --daily-off --daily-run --once-a-day --version --help" -- "$cur"))
        return
    fi
    compopt -o filenames
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _voskan_render voskan-render
