# SPDX-License-Identifier: GPL-3.0-or-later
# Completes ziravel-batch's command line as zsh does on Tab, in an interactive zsh on a
# pseudo-terminal with the folder of the completion function (_ziravel-batch) in its fpath:
# "--ty" must become --type, and "--type " list the waveforms.
zmodload zsh/zpty
functions_folder=$1

# What the terminal shows after typing $1 and Tab, once it shows $2 (at most 30 seconds).
screen_after_tab() {
  local screen="" chunk
  zpty completing zsh -f -i
  zpty -w completing "PS1=''; fpath=($functions_folder \$fpath); autoload -U compinit;" \
    "compinit -u -D; zstyle ':completion:*' list-prompt ''; LISTMAX=1000; print READY"
  zpty -r completing chunk '*READY*'
  zpty -r completing chunk '*READY*'
  zpty -w -n completing "$1"$'\t'
  for _ in {1..300}; do
    while zpty -r -t completing chunk; do screen+=$chunk; done
    [[ $screen == *$2* ]] && break
    sleep 0.1
  done
  zpty -d completing
  print -r -- "$screen"
}

screen=$(screen_after_tab "ziravel-batch --ty" "--type")
[[ $screen == *"--type"* ]] || { print -r -- "--ty<TAB> gave: $screen"; exit 1 }
screen=$(screen_after_tab "ziravel-batch --type " "whitenoise")
for type in sine square triangle sawtooth trapezium exp whitenoise pinknoise brownnoise; do
  [[ $screen == *$type* ]] || { print -r -- "--type <TAB> gave: $screen"; exit 1 }
done
print "completion works"
