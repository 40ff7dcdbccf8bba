# Doxygen input filter for the public headers. Their contracts are plain C
# comments; this marks them up for Doxygen without touching the files, and
# keeps every line where it is so that warnings point at the real line:
#   - the file's first comment describes the file (@file), kept as it is
#     laid out (its tables and drawings);
#   - a comment on the line just above code documents that code (/**);
#   - a comment after code on its line documents that code (/**<);
#   - a comment above several declarations in a row documents each of them
#     (a copy of it goes before each further declaration, on its line).
{ line[NR] = $0 }

function ends_comment(i) { return index(line[i], "*/") > 0 }
function is_blank(i) { return line[i] ~ /^[ \t]*$/ }
function starts_comment(i) { return line[i] ~ /^[ \t]*\/\*/ }
function is_code(i) { return i <= NR && !is_blank(i) && !starts_comment(i) && line[i] !~ /^[ \t]*#(if|endif|else|include)/ }

# The words of the comment on lines from..to, on one line.
function comment_text(from, to,    k, t) {
    t = line[from]
    for (k = from + 1; k <= to; k++) t = t " " line[k]
    sub(/^[ \t]*\/\*+/, "", t)
    sub(/\*\/.*$/, "", t)
    gsub(/[ \t]+\*\*[ \t]/, " ", t)
    gsub(/[ \t]+/, " ", t)
    return t
}

END {
    seen_code = 0
    for (i = 1; i <= NR; i++) {
        if (starts_comment(i) && line[i] !~ /^[ \t]*\/\*\*/) {
            last = i
            while (last < NR && !ends_comment(last)) last++
            if (!seen_code) {
                sub(/\/\*/, "/** @verbatim", line[i])
                for (k = i + 1; k <= last; k++) sub(/^\*\* ?/, "", line[k])
                sub(/\*\/.*$/, "@endverbatim @file */", line[last])
                i = last
                continue
            }
            # A comment's < would start an HTML tag: it is written as &lt;.
            for (k = i; k <= last; k++) gsub(/</, "\\&lt;", line[k])
            if (is_code(last + 1)) {
                text = comment_text(i, last)
                sub(/\/\*/, "/**", line[i])
                # Further declarations in the run of code below the comment
                # get a copy of it on their own line.
                first = 1
                for (j = last + 1; is_code(j); j++) {
                    if (line[j] !~ /^[ \t]*KV_EXPORT/) continue
                    if (!first) line[j] = "/** " text " */ " line[j]
                    first = 0
                }
            }
            i = last
            continue
        }
        if (!is_blank(i)) seen_code = 1
        if (line[i] ~ /[^ \t].*\/\*[^*]/ && line[i] !~ /^[ \t]*\/\*/) {
            at = index(line[i], "/*")
            note = substr(line[i], at + 2)
            gsub(/</, "\\&lt;", note)
            line[i] = substr(line[i], 1, at - 1) "/**<" note
        }
    }
    for (i = 1; i <= NR; i++) print line[i]
}
