# The rewrite a user would otherwise write in awk: drop a trailing CR, swap
# the second and third comma-separated fields when the second names an
# interface, end every line with CR LF. It does not copy the bracket to
# multipath continuations, so it does less than kestrel-convert.
BEGIN { FS = OFS = "," }
{ sub(/\r$/, "") }
NF >= 3 && $2 ~ /^ (Giga|Fast|Tunn|Loop|Virt)/ { t = $2; $2 = $3; $3 = t }
{ printf "%s\r\n", $0 }
