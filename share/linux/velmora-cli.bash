# bash completion for velmora-cli                                 -*- shell-script -*-
#
# Completes the commands and their options, the startup locations (tags and
# numbers), the entry names of the location chosen on the line (from
# "velmora-cli list --csv" on the same Windows: --system, --windows and --user as
# typed), the profile names ("velmora-cli profile list") and the systems that
# --system chooses from ("velmora-cli systems").

# The replies are split at newlines (IFS in _velmora_cli), each a word.
# shellcheck disable=SC2207,SC2046

_velmora_cli_locations=(
  "LM Run" "LM RunOnce" "LM Startup Folder" "CU Run" "CU RunOnce" "CU Startup Folder"
  "LM Run (32-bit)" "LM RunOnce (32-bit)" "LM RunServices" "LM RunServicesOnce"
  "LM RunServices (32-bit)" "LM RunServicesOnce (32-bit)" "Services" 0 1 2 3 4 5 6 7 8 9 10 11 12
)

# Prints the words of "$@" that begin with $cur (quotes typed before it are left
# out), each quoted for the command line, one a line.
_velmora_cli_matching() {
  local typed=${cur#[\"\']} word
  for word in "$@"; do
    [[ $word == "$typed"* ]] && printf '%q\n' "$word"
  done
}

# $1 as the command will receive it: quotes and backslashes of the shell removed
# (never evaluated: the line may hold anything).
_velmora_cli_dequote() {
  local word=$1 out="" quote="" c k
  for ((k = 0; k < ${#word}; k++)); do
    c=${word:k:1}
    if [[ -n $quote ]]; then
      if [[ $c == "$quote" ]]; then
        quote=""
      elif [[ $quote == '"' && $c == "\\" ]]; then
        ((k++))
        out+=${word:k:1}
      else
        out+=$c
      fi
    elif [[ $c == [\"\'] ]]; then
      quote=$c
    elif [[ $c == "\\" ]]; then
      ((k++))
      out+=${word:k:1}
    else
      out+=$c
    fi
  done
  printf '%s' "$out"
}

# The names of the entries of location $1 (a tag or a number, letters in any
# case), one a line. The CSV has a header row; its fields are location, tag, name.
_velmora_cli_entry_names() {
  local location=$1
  shift
  "$_velmora_cli_program" "$@" list --csv 2>/dev/null | awk -v want="$location" '
    { text = text $0 "\n" }
    END {
      want = tolower(want); n = length(text); field = ""; count = 0; quoted = 0; row = 0
      for (i = 1; i <= n; i++) {
        c = substr(text, i, 1)
        if (quoted) {
          if (c != "\"") field = field c
          else if (substr(text, i + 1, 1) == "\"") { field = field c; i++ }
          else quoted = 0
        } else if (c == "\"") quoted = 1
        else if (c == ",") { cols[count++] = field; field = "" }
        else if (c == "\n") {
          cols[count++] = field; field = ""
          if (row++ > 0 && count > 2 && (cols[0] == want || tolower(cols[1]) == want)) print cols[2]
          count = 0
        } else if (c != "\r") field = field c
      }
    }'
}

# The names of the saved profiles, one a line.
_velmora_cli_profile_names() {
  "$_velmora_cli_program" "$@" profile list 2>/dev/null
}

# The users of the offline installation at $1: its profile folders with a
# registry of their own.
_velmora_cli_user_names() {
  local root=$1 folder
  for folder in "$root"/Users/* "$root"/"Documents and Settings"/*; do
    [[ -f $folder/NTUSER.DAT || -f $folder/ntuser.dat ]] && printf '%s\n' "${folder##*/}"
  done
}

# The names of the systems that --system chooses from, one a line: the JSON of
# "velmora-cli systems --json" has one system a line, its name first.
_velmora_cli_system_names() {
  "$_velmora_cli_program" systems --json 2>/dev/null |
    sed -n 's/^  {"name": "\(\([^"\\]\|\\.\)*\)".*/\1/p' | sed 's/\\"/"/g; s/\\\\/\\/g' | awk '!seen[$0]++'
}

_velmora_cli_options=(--system --windows --user)

_velmora_cli() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion -n = || return
  else
    cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
  fi
  local _velmora_cli_program=${words[0]}
  local IFS=$'\n'

  # The options that choose the Windows come first; they are passed on to the
  # listings made for the completion.
  local system=() i=1
  while ((i < cword)); do
    case ${words[i]} in
      --system | --windows | --user)
        ((i + 1 < cword)) && system+=("${words[i]}" "$(_velmora_cli_dequote "${words[i + 1]}")")
        ((i += 2))
        ;;
      --system=* | --windows=* | --user=*)
        system+=("${words[i]}")
        ((i++))
        ;;
      *) break ;;
    esac
  done

  case $prev in
    --system)
      # A name, or a folder when the word has a slash.
      if [[ $cur == */* || $cur == [~.]* ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
      else
        COMPREPLY=($(_velmora_cli_matching $(_velmora_cli_system_names)))
      fi
      return
      ;;
    --windows)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -d -- "$cur"))
      return
      ;;
    --user)
      local root="" j
      for ((j = 1; j < cword - 1; j++)); do
        [[ ${words[j]} == --windows || ${words[j]} == --system ]] && root=$(_velmora_cli_dequote "${words[j + 1]}")
        [[ ${words[j]} == --windows=* ]] && root=${words[j]#--windows=}
        [[ ${words[j]} == --system=* ]] && root=${words[j]#--system=}
      done
      [[ -n $root ]] && COMPREPLY=($(_velmora_cli_matching $(_velmora_cli_user_names "$root")))
      return
      ;;
  esac

  # The command, then its operands.
  if ((i == cword)); then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "${_velmora_cli_options[*]} --help --version" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "list systems seen export disable enable remove add profile" -- "$cur"))
    fi
    return
  fi
  local command=${words[i]}
  local operand=$((cword - i))  # 1 for the first operand of the command

  case $command in
    list)
      COMPREPLY=($(compgen -W "--all --json --csv --new" -- "$cur"))
      ;;
    systems)
      COMPREPLY=($(compgen -W "--json" -- "$cur"))
      ;;
    export)
      if ((operand == 1)); then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -X '!*.[rR][eE][gG]' -- "$cur") $(compgen -d -- "$cur"))
      fi
      ;;
    disable | enable | remove | add)
      if ((operand == 1)); then
        COMPREPLY=($(_velmora_cli_matching "${_velmora_cli_locations[@]}"))
      elif ((operand == 2)) && [[ $command != add ]]; then
        local location
        location=$(_velmora_cli_dequote "${words[i + 1]}")
        COMPREPLY=($(_velmora_cli_matching $(_velmora_cli_entry_names "$location" "${system[@]}")))
      fi
      ;;
    profile)
      if ((operand == 1)); then
        COMPREPLY=($(compgen -W "list save load delete" -- "$cur"))
      elif ((operand == 2)) && [[ ${words[i + 1]} == @(save|load|delete) ]]; then
        COMPREPLY=($(_velmora_cli_matching $(_velmora_cli_profile_names "${system[@]}")))
      elif ((operand == 3)) && [[ ${words[i + 1]} == save ]]; then
        COMPREPLY=($(compgen -W "--replace" -- "$cur"))
      fi
      ;;
  esac
} &&
  complete -F _velmora_cli velmora-cli
