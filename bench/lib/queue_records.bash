# Sourced by the benchmark scripts: records of a queue file, CP1251 with
# CR LF line ends, for a queue too long to write by hand.

# complete_records HOST FOLDER FIRST LAST: the records of downloads number
# FIRST to LAST of HOST, each Complete, its file in FOLDER (ending in "/").
complete_records() {
    awk -v host="$1" -v dir="$2" -v first="$3" -v last="$4" 'BEGIN {
        ORS = "\r\n"
        for (i = first; i <= last; i++) {
            name = sprintf("file-%06d.rar", i)
            print host
            print "http://" host "/files/" (100000000 + i) "/" name
            print dir name
            print "Complete"
            print ""
        }
    }'
}
