# bash completion for keyloft-cli
_keyloft_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="list show add rename edit rm export import merge create-keychain help"
    local global="--keychain --password-fd --verbose --help"
    case $prev in
        --keychain | --output | -o)
            _filedir
            return
            ;;
        --password-fd | --user | --notes)
            return
            ;;
        --sort)
            COMPREPLY=($(compgen -W "name created used index" -- "$cur"))
            return
            ;;
    esac

    local i command=
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --keychain | --password-fd) ((i++)) ;;
            -*) ;;
            *) command=${words[i]} && break ;;
        esac
    done

    local options
    case $command in
        "") COMPREPLY=($(compgen -W "$commands $global --version" -- "$cur")); return ;;
        list) options="--sort --descending" ;;
        show) options="--password" ;;
        add) options="--user --notes" ;;
        edit) options="--user --notes --password-stdin" ;;
        rm) options="--yes" ;;
        export) options="--with-passwords --output" ;;
        import) _filedir json; return ;;
        merge) _filedir keychain; return ;;
        create-keychain) options="--set-default"; _filedir keychain ;;
        help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY+=($(compgen -W "$options $global" -- "$cur"))
    fi
}
complete -F _keyloft_cli keyloft-cli
