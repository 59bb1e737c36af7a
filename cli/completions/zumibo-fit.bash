# bash completion for zumibo-fit
_zumibo_fit() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    -c|--capacity)
      COMPREPLY=($(compgen -W "cd650 cd700 dvd dvd-dl bd25 bd50 bd100 bd128" -- "$cur"))
      return ;;
    --fs)
      COMPREPLY=($(compgen -W "iso udf" -- "$cur"))
      return ;;
    --list|--list0|--exclude-from)
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --path-lists|--link-into)
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    -m|--max-files|--time-limit|--whole|--block|--reserve|--exclude)
      return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "-c --capacity -m --max-files --list --list0 --json -0 --null --time-limit --all
      --whole --raw --on-disc --fs --block --reserve -L --follow-links --hidden --exclude --exclude-from
      --path-lists --link-into --copy --replace -q --quiet -h --help --version" -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _zumibo_fit zumibo-fit
