# bash completion for pelmora-extract                      -*- shell-script -*-
# shellcheck disable=SC2016,SC2034,SC2207 # bash-completion's own idioms

# The OCR languages the converter finds installed (tesseract's when it is not found).
_pelmora_extract_languages()
{
    local program folder converter
    program=$(type -P -- "$1") || program=$1
    folder=${program%/*}
    for converter in "$folder/pelmora-convert" "$folder/../libexec/pelmora/pelmora-convert"; do
        if [[ -x $converter ]]; then
            "$converter" --ocr-languages 2>/dev/null
            return
        fi
    done
    tesseract --list-langs 2>/dev/null | tail -n +2
}

_pelmora_extract()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --format)
            COMPREPLY=($(compgen -W 'lines comma csv jsonl' -- "$cur"))
            return
            ;;
        --ocr-lang)
            # Languages join with "+": complete the last one.
            local joined=
            [[ $cur == *+* ]] && joined=${cur%+*}+
            COMPREPLY=($(compgen -P "$joined" -W '$(_pelmora_extract_languages "$1")' -- "${cur##*+}"))
            return
            ;;
        --password-file | --files-from | -o)
            _filedir
            return
            ;;
        --password | --timeout | --jobs | -j | --help | -h | --version)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        return
    fi
    _filedir
}
complete -F _pelmora_extract pelmora-extract

# ex: filetype=sh
