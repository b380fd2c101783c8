# Makes the man page wqtrans.1 from the manual in the README, its only source: the
# section from the heading "### wqtrans(1)" to the next "## " heading, whose "####"
# headings (NAME, SYNOPSIS, ...) become the page's sections.
#
#   cmake -DREADME=README.md -DOUTPUT=wqtrans.1 -DLOWDOWN=lowdown -DPRECONV=preconv
#         -DVERSION=0.1.0 -P ManPage.cmake
#
# lowdown turns the Markdown into man(7) and preconv writes every character past
# ASCII as a groff escape. Then: the ellipsis becomes three dots, code spans are set
# in bold (the man convention for commands and options; lowdown's \fC is no font of
# man(7)), no paragraph macro follows a section heading, and tables are left-aligned
# so that long words in narrow columns need no stretching, with their last column
# taking the room left.
cmake_minimum_required(VERSION 3.25)
file(READ ${README} readme)
string(FIND "${readme}" "\n### wqtrans(1)\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${README}: no section \"### wqtrans(1)\"")
endif()
string(SUBSTRING "${readme}" ${start} -1 manual)
string(LENGTH "\n### wqtrans(1)\n" heading)
string(SUBSTRING "${manual}" ${heading} -1 manual)
string(FIND "${manual}" "\n## " end)
if(NOT end EQUAL -1)
  string(SUBSTRING "${manual}" 0 ${end} manual)
endif()
string(REGEX REPLACE "(^|\n)#### " "\\1# " manual "${manual}")
file(WRITE ${OUTPUT}.md "${manual}\n")

# The date of the build, or of SOURCE_DATE_EPOCH when set (reproducible builds).
string(TIMESTAMP date "%Y-%m-%d" UTC)
execute_process(
  COMMAND ${LOWDOWN} -s -Tman -M title=WQTRANS -M section=1 -M "date=${date}" -M "source=wqtrans ${VERSION}"
          ${OUTPUT}.md
  COMMAND ${PRECONV} -r -e utf-8
  OUTPUT_VARIABLE page
  RESULTS_VARIABLE results)
foreach(result ${results})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "lowdown or preconv failed on the manual of ${README}: ${results}")
  endif()
endforeach()
file(REMOVE ${OUTPUT}.md)

string(REPLACE "\\fC" "\\fB" page "${page}")
# groff's ascii device, which man uses under the C locale, has no ellipsis character.
string(REPLACE "\\[u2026]" "\\&..." page "${page}")
string(REGEX REPLACE "\n\\.SH\n([^\n]*)\n\\.LP\n" "\n.SH \\1\n" page "${page}")
string(REPLACE "\n.TS\n" "\n.na\n.TS\n" page "${page}")
# Tables span the line with their last column taking the room left (x), instead of
# spreading it evenly over all columns (expand).
string(REGEX REPLACE "\ntab\\(\\|\\) expand allbox;\n([^\n]*[a-z])\n([^\n]*[a-z])\\.\n"
                     "\ntab(|) allbox;\n\\1x\n\\2x.\n" page "${page}")
string(REPLACE "\n.TE\n" "\n.TE\n.ad\n" page "${page}")
file(WRITE ${OUTPUT}.new "${page}")
file(RENAME ${OUTPUT}.new ${OUTPUT})
