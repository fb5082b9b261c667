# Writes Debian's changelog (packaging/changelog) in RPM's form, entry by
# entry, so that both packages carry the same history:
#   * Tue Dec 08 2026 Name <address> - 1.0.0-1
#   - First line of an item
#     its continuation
function(keyconv_rpm_changelog debian_changelog rpm_changelog)
  file(STRINGS ${debian_changelog} lines)
  set(entries "")
  set(items "")
  set(version "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[a-z0-9.+-]+ \\(([^)]+)\\)")
      set(version ${CMAKE_MATCH_1})
      set(items "")
    elseif(line MATCHES "^  \\* (.*)$")
      string(APPEND items "- ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^    (.*)$")
      string(APPEND items "  ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^ -- (.*)  ([A-Z][a-z][a-z]), ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
      # " -- Name <address>  Tue, 08 Dec 2026 10:00:00 +0000"
      string(APPEND entries "* ${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} ${CMAKE_MATCH_5} "
             "${CMAKE_MATCH_1} - ${version}-1\n${items}\n")
    endif()
  endforeach()
  string(STRIP "${entries}" entries)
  file(WRITE ${rpm_changelog} "${entries}\n")
endfunction()
