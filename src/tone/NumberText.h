// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// Reads a number as the user may type it: blanks around it, a sign, digits, a decimal
// part after "." or ",", and an exponent. Returns false for anything else.
bool parseNumberText(const QString& text, double& value);
// The number parseNumberText() reads in a text already checked; 0 for none.
double numberInText(const QString& text);

// The nearest 16-bit whole number, halfway to the even neighbour (200.5 -> 200,
// 201.5 -> 202). Throws Failure "Type mismatch" for a text that is no number and
// "Overflow" for one outside -32768..32767.
qint16 toInt16(const QString& text);

// The number as a plain decimal with a point, as short as reads back the same: "0.25",
// "-6.5", "440". A -0 is written 0.
QString decimalText(double value);

// Whether a field holds one finite number as parseNumberText() reads it, so that every
// later use of an accepted text reads the same number: "." or "," is the decimal
// separator, and there are no thousands separators. Empty text is not a number.
bool isNumericText(const QString& text);
