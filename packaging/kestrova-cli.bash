# bash completion for kestrova-cli                         -*- shell-script -*-

_kestrova_cli()
{
    local cur prev words cword split
    # Keep "cut:500" one word rather than splitting it at the colon.
    _init_completion -s -n : || return

    case $prev in
        --head | --tail)
            COMPREPLY=($(compgen -W 'leave cut topup exact' -- "$cur"))
            return
            ;;
        --method)
            COMPREPLY=($(compgen -W 'copy reencode' -- "$cur"))
            return
            ;;
        --quality)
            COMPREPLY=($(compgen -W 'source high medium small' -- "$cur"))
            return
            ;;
        --pad-fallback)
            COMPREPLY=($(compgen -W 'reencode skip' -- "$cur"))
            return
            ;;
        --existing)
            COMPREPLY=($(compgen -W 'replace skip keep-both' -- "$cur"))
            return
            ;;
        -o | --out | --base)
            _filedir -d
            return
            ;;
        --ffmpeg | --ffprobe | --files-from | --resume | --csv)
            _filedir
            return
            ;;
        --threshold | --min-silence | --max-trim | --extensions | -j | --jobs)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--threshold --min-silence --max-trim --head
            --tail --out --in-place --method --quality --pad-fallback --existing --backup
            --no-backup --keep-mtime --no-keep-mtime --skip-untrimmed
            --no-skip-untrimmed --extensions --recursive --no-recursive
            --base --ffmpeg --ffprobe --jobs --files-from --resume --null
            --no-settings --json --csv
            --quiet --yes --help --version' -- "$cur"))
        return
    fi

    # The first word that is neither an option nor an option's value is the
    # command; files and folders follow it.
    local i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --threshold | --min-silence | --max-trim | --head | --tail | -o | --out | \
                --method | --quality | --pad-fallback | --existing | --extensions | --ffmpeg | \
                --ffprobe | -j | --jobs | --files-from | --base | --resume | --csv)
                ((i++))
                ;;
            -*) ;;
            *)
                _filedir
                return
                ;;
        esac
    done
    COMPREPLY=($(compgen -W 'analyse trim help' -- "$cur"))
} &&
    complete -F _kestrova_cli kestrova-cli

# ex: filetype=sh
