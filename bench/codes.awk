# The same codes as `quarvet-cli calc` for lines of four plain numbers (no locale, no check):
# the yardstick for the tool's throughput.
function floor(x) { return x == int(x) || x >= 0 ? int(x) : int(x) - 1 }
function code(n) { n = n % 65536; return sprintf("%04X", n < 0 ? n + 65536 : n) }
{ slope = ($2 - $1) / ($4 - $3); offset = $2 - slope * $4 }
{ print code(floor(slope * 10000)), code(floor(offset * 1000)) }
