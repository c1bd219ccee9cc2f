# Doxygen's input filter for the pages in docs/: a line "<!-- README: Title -->" becomes the
# text of the README's section "## Title", so that the reference shows the README's own words;
# a section not found makes Doxygen warn.
# Outside code blocks the % of "%word" is doubled: Doxygen drops it, even in code spans; a
# heading loses its backticks, since Doxygen shows a code span in a heading as a literal
# <tt> tag; the lines that mark the README's examples for tests/install/readme-test.sh go.
function emit(line) {
    if (line ~ /^```/)
        fenced = !fenced
    else if (!fenced) {
        if (line ~ /^<!-- example: .* -->$/)
            return
        gsub(/%[$A-Za-z0-9_]/, "%&", line)
        if (line ~ /^#/)
            gsub(/`/, "", line)
    }
    print line
}
/^<!-- README: .* -->$/ {
    heading = "## " substr($0, 14, length($0) - 17)
    inside = found = 0
    while ((getline line < "README.md") > 0) {
        if (line ~ /^## /)
            found += inside = line == heading
        else if (inside)
            emit(line)
    }
    close("README.md")
    if (!found)
        print "\\ref no_such_README_section"  # a warning, which fails the build
    next
}
{ emit($0) }
