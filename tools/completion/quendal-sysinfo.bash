# Bash completion of quendal-sysinfo: subcommands, the options of the tool and of each
# subcommand, the values --format and --log-level take, and file names where a file is asked.
# Installed as share/bash-completion/completions/quendal-sysinfo, which bash-completion loads
# the first time the command is completed; can also be sourced on its own.

_quendal_sysinfo() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local subcommands="local server esxi cmm switch smm diff fleet pin"
    local fleet_subcommands="diff shard merge pin export"
    local remote="--help --host --port"

    # The value of the option just typed.
    case $prev in
        --format)
            COMPREPLY=($(compgen -W "text listing xml json info" -- "$cur"))
            return
            ;;
        --log-level)
            COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur"))
            return
            ;;
        --output-dir)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --inventory | --ca-file | --output | --password-file)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --password-env)
            COMPREPLY=($(compgen -e -- "$cur"))
            return
            ;;
        --timeout | --retries | --connections | --bmc-type | --host | --port | --user | --bay | \
            --jobs | --endpoint-timeout | --shards | --index | --pin)
            COMPREPLY=()
            return
            ;;
    esac

    # The tool's own options go before the subcommand, or after it beside the subcommand's.
    # fleet has subcommands of its own: "fleet diff" is not the tool's diff.
    local word subcommand=
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        if [[ $subcommand == fleet ]]; then
            case " $fleet_subcommands " in
                *" $word "*)
                    subcommand="fleet $word"
                    break
                    ;;
            esac
        elif [[ -z $subcommand ]]; then
            case " $subcommands " in
                *" $word "*) subcommand=$word ;;
            esac
        fi
    done

    local global="--version --inventory --ca-file --insecure --timeout --retries --partial --user"
    global+=" --password-file --password-env --format --output --bmc-type --log-level"
    global+=" --verbose --quiet --pin --connections"
    local options
    case $subcommand in
        "") options="--help" ;;
        local) options="--help --loaded-only" ;;
        server | esxi | cmm | smm | pin) options=$remote ;;
        switch) options="$remote --bay --list-bays" ;;
        diff)
            # OLD and NEW: two stored documents.
            if [[ $cur != -* ]]; then
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -f -- "$cur"))
                return
            fi
            options="--help"
            ;;
        fleet)
            # FILE, the endpoint file, or one of fleet's own subcommands.
            if [[ $cur != -* ]]; then
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -W "$fleet_subcommands" -- "$cur") $(compgen -f -- "$cur"))
                return
            fi
            options="--help --output-dir --jobs --endpoint-timeout --resume"
            ;;
        "fleet diff" | "fleet merge" | "fleet export")
            # Output folders of fleet runs; merge writes to fleet's --output-dir.
            if [[ $cur != -* ]]; then
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -d -- "$cur"))
                return
            fi
            options="--help"
            [[ $subcommand == "fleet merge" ]] && options+=" --output-dir"
            ;;
        "fleet shard" | "fleet pin")
            if [[ $cur != -* ]]; then
                compopt -o filenames 2>/dev/null
                COMPREPLY=($(compgen -f -- "$cur"))
                return
            fi
            options="--help --shards --index"
            [[ $subcommand == "fleet pin" ]] && options="--help --replace"
            ;;
    esac
    if [[ -z $subcommand && $cur != -* ]]; then
        COMPREPLY=($(compgen -W "$subcommands" -- "$cur"))
    else
        COMPREPLY=($(compgen -W "$options $global" -- "$cur"))
    fi
}

complete -F _quendal_sysinfo quendal-sysinfo
