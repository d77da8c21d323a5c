#!/usr/bin/env bash
# End-to-end tests of the kivoparse tool: cli_tests.sh KIVOPARSE CASE
# Each CASE is one function below; outputs are compared byte for byte, so
# NUL bytes and missing or extra line feeds count.
set -u

K="$1"
CASE="$2"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-cli.XXXXXX")"
trap 'chmod -R u+rwx "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
FAILED=0

fail() {
    echo "FAIL: $*" >&2
    FAILED=1
}

# expect_file FILE PRINTF-FORMAT: FILE holds exactly the bytes printf makes.
expect_file() {
    printf "$2" >"$WORK/.expected"
    if ! cmp -s "$WORK/.expected" "$1"; then
        fail "$1 differs from the expected bytes"
        echo "  expected: $(od -An -c "$WORK/.expected" | head -5)" >&2
        echo "  actual:   $(od -An -c "$1" | head -5)" >&2
    fi
}

# run CMD...: runs the tool, stdout to out, stderr to err, status in RC.
run() {
    "$K" "$@" >out 2>err
    RC=$?
}

expect_rc() {
    [ "$RC" -eq "$1" ] || fail "exit status $RC, expected $1 (stderr: $(head -c 400 err))"
}

expect_err() {
    grep -q -- "$1" err || fail "stderr lacks '$1': $(head -c 400 err)"
}

expect_err_lines() {
    local n
    n=$(wc -l <err)
    [ "$n" -eq "$1" ] || fail "stderr has $n lines, expected $1: $(head -c 400 err)"
}

case_html_writes_parser_output_exactly() {
    printf '<P class=a>x</P>' >a.html
    run html a.html
    expect_rc 0
    expect_file out '<P class="a">x</P>'
    [ -s err ] && fail "stderr not empty"
    # Standard input, absent FILE and "-", give the same bytes.
    "$K" html <a.html >out2 && cmp -s out out2 || fail "html from stdin differs"
    "$K" html - <a.html >out3 && cmp -s out out3 || fail "html from '-' differs"
    printf '<BODY><BLOCKQUOTE>x</BODY>' | "$K" html >out4
    expect_file out4 '<BODY><BLOCKQUOTE>x</BLOCKQUOTE>'
    printf 'a<%%b<P>tail' | "$K" html >out5
    expect_file out5 'a<%%b<P>'
    # "--" ends the options: a file may start with "-".
    cp a.html ./-odd.html
    "$K" html -- -odd.html >out6 || fail "'--' did not end the options"
    cmp -s out out6 || fail "html of -odd.html differs"
}

case_html_reads_nul_bytes_as_ordinary_bytes() {
    printf '<P class="a\000b">x\000y</P>' >nul.html
    run html nul.html
    expect_rc 0
    expect_file out '<P class="a\000b">x\000y</P>'
    "$K" html <nul.html >out2
    cmp -s out out2 || fail "NUL input from stdin differs from file"
}

case_images_lists_in_pass_order() {
    printf '<input type=image src=x.gif><img src=y.gif>' >p.html
    run images p.html
    expect_rc 0
    expect_file out 'y.gif\nx.gif\n'
    run images -0 p.html
    expect_file out 'y.gif\000x.gif\000'
    run images --json p.html
    expect_file out '["y.gif", "x.gif"]\n'
    printf '<p>none</p>' | "$K" images --json >empty
    expect_file empty '[]\n'
    printf '<p>none</p>' | "$K" images >empty2
    expect_file empty2 ''
}

case_images_strip_document_base() {
    printf '<img src=C:\\web\\a.gif>' >b.html
    run images --base C:/web/ b.html
    expect_rc 0
    expect_file out 'a.gif\n'
    run images '--base=C:\web\' b.html
    expect_file out 'a.gif\n'
    run images b.html
    expect_file out 'C:\\web\\a.gif\n'
}

case_hrefs_lists_links() {
    printf '<a href=p.htm><A HREF=P.HTM><link href=s.css><a href=q.htm>' >h.html
    run hrefs h.html
    expect_rc 0
    expect_file out 'p.htm\nq.htm\n'
}

case_json_is_lossless() {
    # Invalid UTF-8 (\377, a lone \303, an encoded surrogate) and control bytes.
    printf '<img src="\303\251\377a"><img src="\303"><img src="\355\240\200"><img src="t\001\t\\"><img src=q\042>' >j.html
    run images --json j.html
    expect_rc 0
    expect_file out '["\303\251\\udcffa", "\\udcc3", "\\udced\\udca0\\udc80", "t\\u0001\\t\\\\", "q\\""]\n'
    if command -v python3 >/dev/null; then
        "$K" images j.html >plain
        python3 - out plain <<'EOF' || fail "JSON does not give back the bytes"
import json, sys
values = json.loads(open(sys.argv[1], 'rb').read())
raw = [v.encode('utf-8', 'surrogateescape') for v in values]
expected = open(sys.argv[2], 'rb').read().split(b'\n')[:-1]
sys.exit(0 if raw == expected else 1)
EOF
    fi
}

case_fix_images_rewrites_from_map() {
    printf 'a.GIF\tb.gif\n' >m.tsv
    printf '<img src=A.gif>' >f.html
    run fix-images --map m.tsv f.html
    expect_rc 0
    expect_file out '<IMG src="b.gif">'
    # The first TAB splits; later TABs and a CR belong to the new value.
    printf 'x.gif\ty\tz\r\n' >m2.tsv
    printf '<img src=x.gif>' | "$K" fix-images --map m2.tsv >out2
    expect_file out2 '<IMG src="y\tz\r">'
    # "--map -" takes the pairs from the standard input.
    printf 'a.GIF\tc.gif\n' | "$K" fix-images --map - f.html >out4
    expect_file out4 '<IMG src="c.gif">'
    # fix-hrefs touches links only.
    printf 'a.gif\tb.gif\np.htm\tq.htm\n' >m3.tsv
    printf '<a href=P.htm><img src=a.gif>' | "$K" fix-hrefs --map m3.tsv >out3
    expect_file out3 '<A href="q.htm"><IMG src="a.gif">'
}

case_map_line_without_tab_is_usage_error() {
    printf 'a\tb\nc\td\nno tab here\ne\tf\n' >bad.tsv
    printf '<img src=a>' >f.html
    run fix-images --map bad.tsv --out o f.html
    expect_rc 2
    expect_err 'bad.tsv: line 3 has no TAB'
    expect_err 'usage: kivoparse fix-images'
    [ -s out ] && fail "something was written to stdout"
    [ -e o ] && fail "the --out directory was made"
    # An empty last line is ignored, an empty line elsewhere is not.
    printf 'a\tb\n' >ok.tsv
    run fix-images --map ok.tsv f.html
    expect_rc 0
    printf 'a\tb\n\nc\td\n' >gap.tsv
    run fix-images --map gap.tsv f.html
    expect_rc 2
    expect_err 'gap.tsv: line 2 has no TAB'
    run fix-images --map missing.tsv f.html
    expect_rc 1
    expect_err 'missing.tsv: No such file or directory'
}

case_usage_errors_exit_2() {
    local args
    for args in "" "bogus" "html --bogus" "html -x" "images -0 --json" "html --json" "html -0" \
        "images --out o" "html --map m.tsv" "fix-images" "html -j 0" "html -j x" "html --base" \
        "html --log l a.html b.html" "html --log l -r ." "html - -" "html --out o" "html --out o -" \
        "html --ext , -r ."; do
        # shellcheck disable=SC2086
        run $args
        [ "$RC" -eq 2 ] || fail "'kivoparse $args' exited $RC, expected 2"
        grep -q 'usage: kivoparse' err || fail "'kivoparse $args' printed no usage"
        [ -s out ] && fail "'kivoparse $args' wrote to stdout"
    done
}

case_help_for_every_command() {
    local c
    for c in html images hrefs fix-images fix-hrefs; do
        run "$c" --help
        expect_rc 0
        grep -q "usage: kivoparse $c" out || fail "$c --help lacks its usage"
        grep -q "Example:" out || fail "$c --help lacks an example"
        run help "$c"
        expect_rc 0
    done
    run --help
    expect_rc 0
    grep -q "fix-hrefs" out || fail "--help lacks the command list"
    run images --help
    grep -q 'udc' out || fail "images --help does not say how invalid UTF-8 is written"
}

case_unreadable_inputs_are_reported_and_others_go_on() {
    printf '<img src=a.gif>' >good.html
    mkdir dir
    ln -s nowhere dangling.html
    run images good.html missing.html dir good.html dangling.html
    expect_rc 1
    expect_err 'kivoparse: missing.html: No such file or directory'
    expect_err 'kivoparse: dir: is a directory (give -r'
    expect_err 'kivoparse: dangling.html: No such file or directory'
    expect_err_lines 3
    expect_file out 'good.html\ta.gif\ngood.html\ta.gif\n'
    if [ "$(id -u)" -ne 0 ]; then
        printf 'x' >secret.html
        chmod 000 secret.html
        run html secret.html
        expect_rc 1
        expect_err 'secret.html: Permission denied'
        mkdir -p tree/locked
        printf '<img src=t.gif>' >tree/t.html
        chmod 000 tree/locked
        run images -r tree
        expect_rc 1
        expect_err 'tree/locked: cannot read directory: Permission denied'
        expect_file out 'tree/t.html\tt.gif\n'
    fi
}

case_inputs_of_2_gib_are_refused() {
    truncate -s 2G big.html 2>/dev/null || return 0
    printf '<P>x</P>' >small.html
    run html big.html small.html
    expect_rc 1
    expect_err 'big.html: too large (2147483648 bytes)'
    expect_file out '<P>x</P>'
}

make_tree() {
    mkdir -p site/b/deep site/a .hidden
    printf '<img src=top.gif>' >site/index.html
    printf '<IMG SRC=b1.gif>' >site/b/one.HTM
    printf '<img src=b2.gif>' >site/b/deep/two.Html
    printf '<img src=a.gif>' >site/a/x.htm
    printf '<img src=skip.gif>' >site/a/notes.txt
    printf '<img src=s.gif>' >site/a/page.shtml
}

case_recursive_walk_is_sorted_and_parallel_output_keeps_order() {
    make_tree
    run images -r site -j 1
    expect_rc 0
    expect_file out 'site/a/x.htm\ta.gif\nsite/b/deep/two.Html\tb2.gif\nsite/b/one.HTM\tb1.gif\nsite/index.html\ttop.gif\n'
    local j
    for j in 2 3 8; do
        "$K" images -r site -j "$j" >outj || fail "-j $j failed"
        cmp -s out outj || fail "-j $j changes the output"
    done
    run images -r site --json -j 4
    expect_file out '{"file": "site/a/x.htm", "values": ["a.gif"]}\n{"file": "site/b/deep/two.Html", "values": ["b2.gif"]}\n{"file": "site/b/one.HTM", "values": ["b1.gif"]}\n{"file": "site/index.html", "values": ["top.gif"]}\n'
    run images -r site -0
    expect_file out 'site/a/x.htm\000a.gif\000site/b/deep/two.Html\000b2.gif\000site/b/one.HTM\000b1.gif\000site/index.html\000top.gif\000'
    run images -r --ext=shtml,TXT site
    expect_file out 'site/a/notes.txt\tskip.gif\nsite/a/page.shtml\ts.gif\n'
    mkdir empty
    run images -r empty
    expect_rc 0
    expect_err 'empty: no file under it ends in .html or .htm'
}

case_out_mirrors_paths_and_replaces_atomically() {
    make_tree
    run html -r site --out o -j 3
    expect_rc 0
    [ -s out ] && fail "--out wrote to stdout"
    expect_file o/site/index.html '<IMG src="top.gif">'
    expect_file o/site/b/deep/two.Html '<IMG src="b2.gif">'
    expect_file o/site/a/x.htm '<IMG src="a.gif">'
    [ -e o/site/a/notes.txt ] && fail "a .txt file was written"
    [ "$(find o -type f | wc -l)" -eq 4 ] || fail "unexpected files under o: $(find o)"
    # A replaced file keeps its permissions; no temporary file is left behind.
    chmod 640 o/site/index.html
    printf 'top.gif\tnew.gif\n' >m.tsv
    run fix-images --map m.tsv -r site --out o
    expect_rc 0
    expect_file o/site/index.html '<IMG src="new.gif">'
    [ "$(stat -c %a o/site/index.html)" = 640 ] || fail "permissions of a replaced file changed"
    [ -z "$(find o -name '.*kivoparse-*')" ] || fail "temporary files left: $(find o -name '.*kivoparse-*')"
    # In place: -r . with --out . rewrites the files themselves; the walk skips the output dir.
    (cd site && "$K" fix-images --map ../m.tsv -r . --out .) || fail "in-place run failed"
    expect_file site/index.html '<IMG src="new.gif">'
    # The output directory inside the walked tree is not read again.
    (cd site && "$K" html -r . --out copy && "$K" html -r . --out copy) || fail "second run into copy failed"
    [ -e site/copy/copy ] && fail "the output directory was walked"
    # Leading "/" and "../" are dropped from the mirrored path.
    mkdir sub
    (cd sub && "$K" html ../site/a/x.htm --out ../o2) || fail "../ input failed"
    expect_file o2/site/a/x.htm '<IMG src="a.gif">'
}

case_out_errors() {
    printf '<P>x</P>' >a.html
    printf 'not a dir' >file
    run html a.html --out file/o
    expect_rc 1
    expect_err 'cannot create directory'
    run html a.html ./a.html --out o
    expect_rc 2
    expect_err 'would both be written to'
    [ -e o ] && fail "--out directory made despite the collision"
    # A target that cannot be replaced fails that file only; the good one stays.
    mkdir -p o/a.html
    printf '<P>y</P>' >b.html
    run html a.html b.html --out o
    expect_rc 1
    expect_err "a.html: cannot replace 'o/a.html'"
    expect_file o/b.html '<P>y</P>'
    [ -z "$(find o -name '.*kivoparse-*')" ] || fail "temporary file left after a failed rename"
}

case_closed_pipe_ends_quietly() {
    local i
    for i in $(seq 1 20000); do printf '<P class=a>text %d</P>' "$i"; done >big.html
    "$K" html big.html 2>err | head -c 10 >/dev/null
    RC=${PIPESTATUS[0]}
    expect_rc 0
    [ -s err ] && fail "closed pipe printed: $(cat err)"
    mkdir many
    for i in $(seq 1 50); do cp big.html "many/f$i.html"; done
    "$K" html -r many -j 4 2>err | head -c 10 >/dev/null
    RC=${PIPESTATUS[0]}
    expect_rc 0
    [ -s err ] && fail "closed pipe printed: $(cat err)"
}

case_stdout_write_error_is_reported() {
    [ -w /dev/full ] || return 0
    printf '<P>x</P>' >a.html
    "$K" html a.html >/dev/full 2>err
    RC=$?
    expect_rc 1
    expect_err 'cannot write to standard output'
}

case_log_traces_a_single_input() {
    printf '<P>x</P>' >a.html
    run html --log trace.log a.html
    expect_rc 0
    expect_file out '<P>x</P>'
    grep -q 'STARTSTATE: KP_BETWEEN_TAGS' trace.log || fail "trace lacks STARTSTATE lines"
    run html --log nodir/trace.log a.html
    expect_rc 1
    expect_err "cannot open log file 'nodir/trace.log'"
}

"case_$CASE"
exit $FAILED
