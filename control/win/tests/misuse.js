// What a careless script does to the control, run by cscript; the lines it
// prints are compared with misuse.js.expected. Nothing may end the host, and
// the control answers as before afterwards. The C++ client does the same
// with the forms a script cannot make (null arrays, a million elements).
function show(name, call) {
    try {
        WScript.Echo(name + ": " + call());
    } catch (e) {
        WScript.Echo(name + ": error " + (e.number >>> 0).toString(16));
    }
}
try {
    var c = new ActiveXObject("KIVOPARSE.KIVOParseCtrl.1");

    // Numbers become text; null, objects that are no arrays and a missing
    // argument are refused.
    show("ParseHTML(42)", function () { return c.ParseHTML(42); });
    show("ParseHTML(null)", function () { return c.ParseHTML(null); });
    show("ParseHTML()", function () { return c.ParseHTML(); });
    show("FixImages(null, null)", function () { return c.FixImages(null, null); });
    show("FixImages(1, 2)", function () { return c.FixImages(1, 2); });
    show("FixImages({}, {})", function () { return c.FixImages({}, {}); });
    show("FixHrefs([{}], [1])", function () { return c.FixHrefs([{}], [1]); });
    show("SetLogFile(c)", function () { return c.SetLogFile(c); });
    show("usable", function () { return c.ParseHTML("<a href=x.htm>x</a>") + " " + c.GetHTML(); });

    // Converting the argument calls back into the control, which parses
    // another page and changes the base: the outer call then runs on its own text.
    var sly = {
        toString: function () {
            c.ParseHTML("<i>inner</i>");
            c.SetDocumentBase("C:\\");
            return "<img src=C:\\a.gif>";
        }
    };
    show("re-entrant", function () { return c.ParseHTML(sly) + " " + c.GetHTML(); });

    // Ten thousand list items from script arrays; a 20 MB page.
    var src = [], dest = [];
    for (var n = 0; n < 10000; n++) { src[n] = "p" + n + ".htm"; dest[n] = "q" + n + ".htm"; }
    show("FixHrefs(10000)", function () {
        c.ParseHTML("<a href=p9999.htm>x</a>");
        return c.FixHrefs(src, dest) + " " + c.GetHTML();
    });
    var page = "<p>" + new Array(1280 * 1024 + 1).join("0123456789abcdef") + "</p>";
    show("ParseHTML(20 MB)", function () { return c.ParseHTML(page) + " " + c.GetHTML().length; });

    // Many live instances at once.
    var many = [];
    for (var m = 0; m < 500; m++) {
        many[m] = new ActiveXObject("KIVOPARSE.KIVOParseCtrl.1");
        many[m].ParseHTML("<img src=i" + m + ".gif>");
    }
    show("500 instances", function () { return many[0].GetHTML() + " " + many[499].GetHTML(); });
    many = null;
    CollectGarbage();
    WScript.Echo("done");
    WScript.Quit(0);
} catch (e) {
    WScript.Echo("FAILED: " + (e.number >>> 0).toString(16) + " " + e.description);
    WScript.Quit(1);
}
