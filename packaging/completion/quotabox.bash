# bash completion for quotabox
_quotabox() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    --snapshot | --verify-system)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    --appearance)
      mapfile -t COMPREPLY < <(compgen -W "dark light" -- "$cur")
      return
      ;;
  esac
  local options="--print --json --waybar --refresh --mock --mock-high --mock-error --mock-signedout --mock-stale
    --mock-mixed --mock-retained --mock-trends --appearance --open --snapshot --verify-system
    -h --help -V --version"
  mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
}
complete -F _quotabox quotabox
