# SPDX-License-Identifier: GPL-3.0-or-later
# Completes ziravel-batch's command line as zsh does on Tab, in an interactive zsh on a
# pseudo-terminal with the folder of the completion function (_ziravel-batch) in its fpath:
# "--ty" must become --type, and "--type " list the waveforms.
zmodload zsh/zpty
functions_folder=$1

# Reads what the terminal shows into $shown until it holds $1; fails after 30 seconds.
read_until() {
  local chunk
  for _ in {1..300}; do
    while zpty -r -t completing chunk; do shown+=$chunk; done
    [[ $shown == *$1* ]] && return 0
    sleep 0.1
  done
  return 1
}

# What the terminal shows after typing $1 and Tab, once it shows $2 (or after 30 seconds).
screen_after_tab() {
  local shown=""
  zpty completing zsh -f -i
  # The shell's answer, READY42, is not in the echo of the line typed, READY$((6 * 7)).
  zpty -w completing "PS1=''; fpath=($functions_folder \$fpath); autoload -U compinit;" \
    "compinit -u -D; zstyle ':completion:*' list-prompt ''; LISTMAX=1000;" \
    'print READY$((6 * 7))'
  if read_until READY42; then
    shown=""
    zpty -w -n completing "$1"$'\t'
    read_until "$2"
  fi
  zpty -d completing
  print -r -- "$shown"
}

screen=$(screen_after_tab "ziravel-batch --ty" "--type")
[[ $screen == *"--type"* ]] || { print -r -- "--ty<TAB> gave: $screen"; exit 1 }
screen=$(screen_after_tab "ziravel-batch --type " "whitenoise")
for type in sine square triangle sawtooth trapezium exp whitenoise pinknoise brownnoise; do
  [[ $screen == *$type* ]] || { print -r -- "--type <TAB> gave: $screen"; exit 1 }
done
print "completion works"
