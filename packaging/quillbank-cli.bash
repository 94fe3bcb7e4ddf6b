# bash completion for quillbank-cli

_quillbank_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="ports list read write remove summary apply backup restore check"
    local flags="--all --trace --yes --json --no-verify --no-checks --keep-going --force --exact --help --version"
    local valued="--port --journal --timeout --tick-ms --slot --remove --days"

    case $prev in
        --port)
            local ports
            ports=$(compgen -G '/dev/quillbank-*'; compgen -G '/dev/ttyACM*'; compgen -G '/dev/ttyUSB*')
            COMPREPLY=($(compgen -W "$ports" -- "$cur"))
            compopt -o filenames
            return
            ;;
        --slot)
            # SLOT=FILE: the slot number first; '=' is a word of its own here.
            COMPREPLY=($(compgen -W "$(seq 0 14)" -S = -- "$cur"))
            compopt -o nospace
            return
            ;;
        =)
            if [[ ${words[cword - 3]} == --slot ]]; then
                _filedir
                return
            fi
            ;;
        --remove)
            COMPREPLY=($(compgen -W "$(seq 0 14)" -- "$cur"))
            return
            ;;
        --journal)
            _filedir
            return
            ;;
        --timeout | --tick-ms | --days)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$flags $valued" -- "$cur"))
        return
    fi

    # The command is the first word that is neither an option nor an option's value.
    local i command="" position=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --port | --journal | --timeout | --tick-ms | --slot | --remove | --days) ((i++)) ;;
            =) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                else
                    ((position++))
                fi
                ;;
        esac
    done

    case $command in
        "")
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            ;;
        read | write)
            if ((position == 0)); then
                COMPREPLY=($(compgen -W "$(seq 0 14)" -- "$cur"))
            elif ((position == 1)); then
                _filedir
            fi
            ;;
        remove)
            ((position == 0)) && COMPREPLY=($(compgen -W "$(seq 0 14)" -- "$cur"))
            ;;
        summary)
            _filedir
            ;;
        apply)
            ((position == 0)) && _filedir json
            ;;
        backup | restore)
            ((position == 0)) && _filedir -d
            ;;
    esac
} &&
    complete -F _quillbank_cli quillbank-cli
