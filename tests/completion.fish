# SPDX-License-Identifier: GPL-3.0-or-later
# Completes ziravel-batch's command line as fish does on Tab, with the completion script
# given: "--ty" must become --type, "--type " offer the waveforms, and a description with an
# apostrophe keep it.
source $argv[1]; or exit 1
function completed
    complete -C "ziravel-batch $argv[1]" | string replace -r '\t.*' '' | string join ' '
end
set options (completed --ty)
test "$options" = --type; or begin; echo "--ty<TAB> gave: $options"; exit 1; end
set types (completed "--type ")
test "$types" = "brownnoise exp pinknoise sawtooth sine square trapezium triangle whitenoise"
or begin; echo "--type <TAB> gave: $types"; exit 1; end
set described (complete -C "ziravel-batch --sweep-e")
test "$described" = "--sweep-ends	A sweep's ends"; or begin; echo "--sweep-e<TAB> gave: $described"; exit 1; end
echo "completion works"
