# Summaries of measured values for the benchmarks. Sourced, never run.

# stats SCALE DECIMALS [lenient] < values: "median min max", each divided by SCALE; "n/a" if every
# value is zero (a counter Wine does not fill) or any is missing. Lenient (the start-up breakdown, where
# a window created and shown between two polls leaves one milestone unseen) skips missing values.
stats() {
    sort -g | awk -v scale="$1" -v d="$2" -v lenient="${3:-}" '
        $1 == "n/a" { missing = 1; next }
        { v[++n] = $1; if ($1 != 0) nonzero = 1 }
        END {
            if (n == 0 || !nonzero || (missing && lenient == "")) { print "n/a"; exit }
            m = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
            f = "%." d "f"
            printf f " " f " " f "\n", m / scale, v[1] / scale, v[n] / scale
        }'
}
