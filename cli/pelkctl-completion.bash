# bash completion for pelkctl. Source it, or install it as
# share/bash-completion/completions/pelkctl.
_pelkctl()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="discover info status gcode stop continue reset home check run fpga mcu sd update params userdata"
    local global="--id --index --address --static --all --jobs --discover-timeout --json --no-verify --verbose --help --version"

    case $prev in
        --id|--index|--address|--discover-timeout|--jobs|--as|--from|--size|--capacity) return ;;
        --record) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --setting)
            compopt -o nospace 2>/dev/null
            COMPREPLY=($(compgen -W "rate.x= rate.y= rate.z= rate.a= accel.x= accel.y= accel.z= accel.a= travel.x= travel.y= travel.z= travel.a= junction= arc_tolerance= tool_change= feed= lookahead=" -- "$cur"))
            return ;;
    esac

    # The command words typed so far, options left out.
    local cmd="" sub="" i w
    for ((i = 1; i < cword; i++)); do
        w=${words[i]}
        case $w in
            --id|--index|--address|--discover-timeout|--jobs|--as|--from|--size|--setting|--capacity|--record) ((i++)); continue ;;
            -*) continue ;;
        esac
        if [[ -z $cmd ]]; then cmd=$w; elif [[ -z $sub ]]; then sub=$w; fi
    done

    if [[ $cur == -* ]]; then
        local extra=""
        case "$cmd $sub" in
            "status "*) extra="--watch" ;;
            "run "*) extra="--from --check --setting --force --continue-at-stops" ;;
            "check "*) extra="--setting" ;;
            "fpga read"|"sd get") extra="--size" ;;
            "sd format") extra="--yes" ;;
            "userdata set") extra="--truncate" ;;
        esac
        case "$cmd $sub" in
            "fpga write"|"mcu write"|"sd put"|"update "*) extra="$extra --capacity --record --skip-same" ;;&
            "sd put") extra="$extra --as" ;;
            "info "*|"run "*) extra="$extra --record" ;;
        esac
        COMPREPLY=($(compgen -W "$global $extra" -- "$cur"))
        return
    fi
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi
    if [[ -z $sub ]]; then
        case $cmd in
            fpga) COMPREPLY=($(compgen -W "write read erase" -- "$cur")); return ;;
            mcu) COMPREPLY=($(compgen -W "write" -- "$cur")); return ;;
            sd) COMPREPLY=($(compgen -W "put get ls rm stat format" -- "$cur")); return ;;
            update) COMPREPLY=($(compgen -W "spindle dc boot app" -- "$cur")); return ;;
            params) COMPREPLY=($(compgen -W "get set save load" -- "$cur")); return ;;
            userdata) COMPREPLY=($(compgen -W "get set" -- "$cur")); return ;;
            run|check) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        esac
        return
    fi
    case "$cmd $sub" in
        "fpga write"|"fpga read"|"mcu write"|"sd put"|"update "*|"params set")
            COMPREPLY=($(compgen -f -- "$cur")) ;;
        "params save"|"params load") COMPREPLY=($(compgen -W "0 1" -- "$cur")) ;;
        "userdata set")
            if [[ $prev == type ]]; then COMPREPLY=($(compgen -W "M81 M81DC R28" -- "$cur"));
            elif [[ $prev == set ]]; then COMPREPLY=($(compgen -W "id type" -- "$cur")); fi ;;
    esac
}
complete -F _pelkctl pelkctl
