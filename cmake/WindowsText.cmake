# Run at build time: writes the text file IN to OUT with every line ended by
# CR LF, as Windows programs write text and as Notepad has always shown it.
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
