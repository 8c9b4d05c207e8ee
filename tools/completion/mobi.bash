# bash completion for mobi: commands, options, serial devices for --port.
_mobi() {
  COMPREPLY=()
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    -p | --port)
      mapfile -t COMPREPLY < <(compgen -W "$(compgen -G '/dev/ttyS*'; compgen -G '/dev/ttyUSB*'; compgen -G '/dev/ttyACM*')" -- "$cur")
      return ;;
    -s | --settings)
      mapfile -t COMPREPLY < <(compgen -W "9600,n,8,1 19200,n,8,1 38400,n,8,1 57600,n,8,1 115200,n,8,1" -- "$cur")
      return ;;
    --sim | --listen | centre | send | at)
      return ;;
  esac
  if [[ $cur == -* ]]; then
    # The options as mobi's own help lists them, one per line.
    mapfile -t COMPREPLY < <(compgen -W "$("${COMP_WORDS[0]}" --help 2>/dev/null | sed -n 's/^ *\(-[a-z], \)\{0,1\}\(--[a-z-]*\).*/\2/p')" -- "$cur")
    return
  fi
  local w
  for w in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case $w in check | signal | centre | reset | send | at) return ;; esac
  done
  mapfile -t COMPREPLY < <(compgen -W "check signal centre reset send at" -- "$cur")
}
complete -F _mobi mobi
