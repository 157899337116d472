# The desktop entry's Exec value that runs the program at `path`: quoted as the Desktop Entry
# rules quote an argument, then escaped as every string value is, so that a folder holding a
# space, a quote, `$` or `%` still names the program. Used at configure and at install time.
function(quiltdeck_desktop_exec out path)
  set(v "${path}")
  # Within the double quotes: backslash first, then what the quotes would not keep.
  string(REPLACE "\\" "\\\\" v "${v}")
  string(REPLACE "\"" "\\\"" v "${v}")
  string(REPLACE "`" "\\`" v "${v}")
  string(REPLACE "$" "\\$" v "${v}")
  set(v "\"${v}\"")
  # The string value's own escapes, read before the quoting is.
  string(REPLACE "\\" "\\\\" v "${v}")
  string(REPLACE "\n" "\\n" v "${v}")
  string(REPLACE "\t" "\\t" v "${v}")
  string(REPLACE "\r" "\\r" v "${v}")
  # A lone % would start a field code.
  string(REPLACE "%" "%%" v "${v}")
  set(${out} "${v}" PARENT_SCOPE)
endfunction()
