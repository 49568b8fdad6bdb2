.pragma library

// Numbers as the page shows them. The report keeps every value at full precision; only its text is rounded.

// A number rounded to one decimal, without the decimal when it rounds to a whole number ("23,4", "24"), with the
// decimal comma in Russian and the point in English. A value that is no finite number keeps its own text.
function decimalText(value, english) {
    var number = typeof value === "number" ? value : Number(value);
    if (value === null || value === undefined || value === "" || !isFinite(number))
        return String(value);
    var rounded = Math.round(number * 10) / 10;
    if (rounded === 0)
        rounded = 0; // no "-0"
    var text = rounded === Math.trunc(rounded) ? String(rounded) : rounded.toFixed(1);
    return english ? text : text.replace(".", ",");
}

// A share in per cent: decimalText and " %".
function percentText(value, english) {
    var number = Number(value);
    return decimalText(isFinite(number) ? number : 0, english) + " %";
}

// Whether a value is a number with a fractional part (an average speed), which a table shows as decimalText.
function isFractional(value) {
    return typeof value === "number" && isFinite(value) && value !== Math.trunc(value);
}
