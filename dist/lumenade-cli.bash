# bash completion for lumenade-cli: commands, options, settings names, and
# warehouse pictures for set and delete.

# The warehouse names, one a line, as 'list' shows them with the same global
# options (another --drive or --registry means another warehouse).
_lumenade_cli_pictures()
{
    local program=$1
    shift
    # 'list' prints "NAME  SIZE" lines and one closing total line.
    "$program" "$@" -q list 2>/dev/null | sed -e '$d' -e 's/ \{1,\}[0-9][0-9,]*$//'
}

# File names, through bash-completion's helper where it is loaded.
_lumenade_cli_files()
{
    if declare -F _filedir >/dev/null; then
        _filedir
    else
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

_lumenade_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} cword=$COMP_CWORD
    local -a words=("${COMP_WORDS[@]}")

    local commands="list add set shuffle restore delete info convert config paths"
    local globals="--drive --windows --registry --seed -q --quiet -h --help --version"

    # The command is the first word that is neither an option nor an option's value.
    local i command="" command_at=0
    local -a global_words=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --drive | --windows | --registry | --seed)
                global_words+=("${words[i]}" "${words[i + 1]}")
                ((i++))
                ;;
            --drive=* | --windows=* | --registry=* | --seed=*) global_words+=("${words[i]}") ;;
            -*) ;;
            *)
                command=${words[i]}
                command_at=$i
                break
                ;;
        esac
    done

    if [[ -z $command ]]; then
        case $prev in
            --drive | --windows | --seed) return ;;
            --registry)
                _lumenade_cli_files
                return
                ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$globals" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options=""
    case $command in
        list | paths) options="--json" ;;
        add) options="--fill --borders --overwrite --skip" ;;
        set) options="--as" ;;
        info) options="--json" ;;
    esac
    options+=" --help"
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    local IFS=$'\n'
    case $command in
        add | info | convert) _lumenade_cli_files ;;
        set)
            if [[ $prev == --as ]]; then
                COMPREPLY=($(compgen -W $'startup\nshutdown\nturnoff' -- "$cur"))
            else
                COMPREPLY=($(compgen -W "$(_lumenade_cli_pictures "${words[0]}" "${global_words[@]}")" -- "$cur"))
            fi
            ;;
        delete)
            COMPREPLY=($(compgen -W "$(_lumenade_cli_pictures "${words[0]}" "${global_words[@]}")" -- "$cur"))
            ;;
        config)
            if ((cword == command_at + 1)); then
                COMPREPLY=($(compgen -W $'LogosDir\nStartupDir\nShutDownDir\nTurnOffDir\nStartupMsgs\nShutDownMsg\nTurnOffMsg\nFullScreen\nAutoChange\nGrabDir' -- "$cur"))
            elif ((cword == command_at + 2)); then
                case $prev in
                    FullScreen | AutoChange) COMPREPLY=($(compgen -W $'true\nfalse' -- "$cur")) ;;
                esac
            fi
            ;;
    esac
} &&
    complete -F _lumenade_cli lumenade-cli
