# A break point (\:) between two Japanese characters, none before closing
# punctuation: groff 1.22 breaks lines only at spaces. Run in a UTF-8
# locale; twice, as each pass reaches every second pair.
s/\([^ -~]\)\([^ -~、。，．」』）！？ー・]\)/\1\\:\2/g
s/\([^ -~]\)\([^ -~、。，．」』）！？ー・]\)/\1\\:\2/g
