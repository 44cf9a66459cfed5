// SPDX-License-Identifier: GPL-3.0-or-later
// A library that the test helper needs_missing_lib is linked with but never finds.
int vanishingLibraryAnswer() {
    return 0;
}
