#!/usr/bin/env bash
# Runs the sessions a page shows its readers and checks that every command
# prints what the page says it prints, so that a change of behaviour or of
# wording fails here until the page is changed too.
#
#   examples.sh PAGE ROTFILE              the page's shell sessions
#   examples.sh PAGE ROTFILE.exe WINE     its Command Prompt sessions, in WINE's cmd
#
# A session is a block whose first line is a prompt: a block indented by four
# blanks (or fenced by ```) in Markdown and plain text, the lines between .nf
# and .fi in a manual page, read with its escapes undone. Other blocks are
# left alone.
#
# In a shell session every command line begins with the prompt of the
# block's first line, and the lines after it up to the next command are what
# it prints, standard output and standard error together, byte for byte.
# "$ " is an ordinary user's prompt: when the test runs as root, the commands
# run as nobody. "# " is root's: for anyone else the block is skipped, and the
# test ends with status 77 if nothing failed. Each command runs in a bash of
# its own, so a cd or a variable does not reach the next one.
#
# A Command Prompt session is typed at prompts such as C:\Users\you>, with
# the blank line that cmd prints before each prompt; it is compared as a
# console shows it (CR LF and LF end lines alike), its prompts' folders left
# out. It starts in the profile folder, which holds an empty Documents, and
# any path to rotfile.exe is taken to be the one built.
#
# The sessions of a page run in order, in one scratch folder, with the
# rotfile under test first on PATH, LC_ALL=C.UTF-8 and umask 022.
set -euo pipefail
page=$1 rotfile=$2 wine=${3:-}
name=${page##*/}
cmd_prompt='^[A-Za-z]:\\[^>]*>'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/home/Documents"
installed=$scratch/bin/rotfile${wine:+.exe}
cp "$rotfile" "$installed"

# The lines as the reader sees them. Of roff's escapes, those that print a
# backslash are undone last, through a byte no page holds, so that none of
# them starts another; one left over is not known here, and fails the block.
if [[ $page == *.[1-9] ]]; then
  text=$(sed -e 's/\\\\/\x01/g; s/\\e/\x01/g; s/\\(rs/\x01/g' \
    -e "s/\\\\(aq/'/g; s/\\\\(dq/\"/g; s/\\\\(ga/\`/g; s/\\\\(ti/~/g; s/\\\\(ha/^/g" \
    -e 's/\\-/-/g; s/\\&//g' "$page")
else
  text=$(<"$page")
fi

# The page's blocks, each with the number of its first line.
blocks=() starts=()
block='' start=0 blanks='' fence=0 inside=0 n=0
end_block() {
  [[ -n $block ]] && blocks+=("$block") starts+=("$start")
  block='' blanks='' inside=0
}
add_line() {
  [[ -n $block ]] || start=$n
  block+=$blanks$1$'\n' blanks=''
}
while IFS= read -r line; do
  n=$((n + 1))
  if [[ $page == *.[1-9] ]]; then
    case $line in
      .nf) inside=1 ;;
      .fi) end_block ;;
      *) if ((inside)); then add_line "$line"; fi ;;
    esac
  elif [[ $line == '```'* ]]; then
    end_block
    fence=$((!fence))
  elif ((fence)); then
    add_line "$line"
  elif [[ $line == '    '* ]]; then
    add_line "${line:4}"
  elif [[ -z $line && -n $block ]]; then
    blanks+=$'\n'
  else
    end_block
  fi
done <<<"$text"
end_block

as_user=()
if ((EUID == 0)) && [[ -z $wine ]]; then
  chown -R nobody "$scratch"
  as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  if ! "${as_user[@]}" test -x "$installed"; then
    echo "nobody cannot run $installed: point TMPDIR at a folder everyone may enter"
    exit 1
  fi
fi

# Prints what the shell command $2 prints, typed at the prompt $1; its
# status is not shown, so not checked.
run_shell() {
  local runner=()
  if [[ $1 == '$ ' ]]; then runner=("${as_user[@]}"); fi
  (cd "$scratch/home" && umask 022 &&
    "${runner[@]}" env -i PATH="$scratch/bin:/usr/local/bin:/usr/bin:/bin" HOME="$scratch/home" \
      LC_ALL=C.UTF-8 bash -c "$2") </dev/null 2>&1 || true
}

windows_path() {
  local path=Z:$1
  printf '%s' "${path//\//\\}"
}

# Prints the transcript of the Command Prompt session whose prompt lines are
# $@, with those lines as the page shows them. The session runs as a batch
# file with echo on, which shows each command after a prompt of our own.
run_cmd() {
  local marker='@@example>' exe path='[A-Za-z]:\\[^ ]*\\rotfile\.exe' line command n=0 prompts=("$@")
  exe=$(windows_path "$installed")
  {
    printf '@set USERPROFILE=%s\r\n' "$(windows_path "$scratch/home")"
    printf '@set PATH=%s;%%PATH%%\r\n@cd /d %%USERPROFILE%%\r\n' "$(windows_path "$scratch/bin")"
    printf '@prompt %s\r\n' "${marker/>/\$G}"
    for line in "${prompts[@]}"; do
      command=${line#*>}
      if [[ $command =~ $path ]]; then command=${command//"${BASH_REMATCH[0]}"/"$exe"}; fi
      printf '%s\r\n' "$command"
    done
  } >"$scratch/session.bat"
  "$wine" cmd /c "$(windows_path "$scratch/session.bat")" </dev/null >"$scratch/session.out" 2>&1 || true
  while IFS= read -r line || [[ -n $line ]]; do
    line=${line%$'\r'}
    # Wine's own remarks on the Linux host under it (a folder it may not
    # read, say) are nothing a Windows user sees.
    if [[ $line == 'wine: '* ]]; then
      continue
    elif [[ $line == "$marker"* ]]; then
      printf '%s\n' "${prompts[n]-$line}"
      n=$((n + 1))
    elif ((n)); then
      printf '%s\n' "$line"
    fi
  done <"$scratch/session.out"
}

# Tells where the run ($2) first differs from the page ($1), the block of
# which starts at line $3.
report() {
  local page_lines run_lines i=0
  mapfile -t page_lines <"$1"
  mapfile -t run_lines <"$2"
  while ((i < ${#page_lines[@]} && i < ${#run_lines[@]})) && [[ ${page_lines[i]} == "${run_lines[i]}" ]]; do
    i=$((i + 1))
  done
  echo "$name:$(($3 + i)): the session that starts at line $3 prints otherwise (- page, + run):"
  diff -u --label page --label run "$1" "$2" || true
}

sessions=0 failed=0 skipped=0
for i in "${!blocks[@]}"; do
  block=${blocks[i]} where="$name:${starts[i]}"
  first=${block%%$'\n'*}
  if [[ -z $wine && $first == [\$#]' '* ]]; then
    prompt=${first:0:2}
  elif [[ -n $wine && $first =~ $cmd_prompt ]]; then
    prompt=cmd
  else
    continue
  fi
  sessions=$((sessions + 1))
  if [[ $block == *\\* && $page == *.[1-9] ]]; then
    echo "$where: a roff escape this test does not know: $(grep -m1 -F "\\" <<<"$block" | tr '\001' "\\\\")"
    failed=1
    continue
  fi
  block=${block//$'\x01'/\\}
  printf '%s' "$block" >"$scratch/page"
  if [[ $prompt == cmd ]]; then
    mapfile -t lines < <(grep -E "$cmd_prompt" <<<"$block")
    run_cmd "${lines[@]}" >"$scratch/run"
  elif [[ $prompt == '# ' ]] && ((EUID != 0)); then
    echo "$where: skipped: its commands are root's"
    skipped=1
    continue
  else
    : >"$scratch/run"
    while IFS= read -r line; do
      if [[ $line == "$prompt"* ]]; then
        printf '%s\n' "$line" >>"$scratch/run"
        run_shell "$prompt" "${line#"$prompt"}" >>"$scratch/run"
      fi
    done <<<"${block%$'\n'}"
  fi
  if cmp -s "$scratch/page" "$scratch/run"; then
    echo "$where: as shown"
  else
    report "$scratch/page" "$scratch/run" "${starts[i]}"
    failed=1
  fi
done

if ((sessions == 0)); then
  echo "$name shows no session to run"
  exit 1
fi
if ((failed)); then exit 1; fi
if ((skipped)); then exit 77; fi
