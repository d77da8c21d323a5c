// What a Windows user does with the control from JScript, run by cscript.
// Prints the rewritten page, then "done"; an error prints its number and
// description and ends with exit code 1.
try {
    var c = new ActiveXObject("KIVOPARSE.KIVOParseCtrl.1");
    c.SetDocumentBase("C:\\web\\");
    c.ParseHTML("<img src=C:\\web\\a.gif><a href=x.htm>x</a>");
    var imgs = c.GetImages();
    var r = c.FixImages(imgs, imgs);
    WScript.Echo(c.GetHTML());
    WScript.Echo("FixImages " + r);

    // JScript passes its own arrays as objects; the control reads them too.
    r = c.FixHrefs(["X.HTM"], ["y.htm"]);
    WScript.Echo("literal " + r + " " + c.GetHTML());
    r = c.FixImages(c.GetImages(), ["b.gif"]);
    WScript.Echo("mixed " + r + " " + c.GetHTML());
    r = c.FixImages(c.GetImages(), []);
    WScript.Echo("lengths " + r);

    // A string where a list belongs is refused with a type mismatch.
    try {
        c.FixImages("a.gif", "b.gif");
        WScript.Echo("not refused");
    } catch (e) {
        WScript.Echo("refused " + (e.number >>> 0).toString(16));
    }
    // Wrong types, refused; a conversion that calls back into the control,
    // which parses another page and sets a base: the call runs on its own text.
    var refused = "", bad = [null, {}, [{}], c];
    for (var i = 0; i < bad.length; i++) {
        try { c.FixHrefs(bad[i], ["x"]); refused += " no"; } catch (e) { refused += " " + (e.number >>> 0).toString(16); }
    }
    WScript.Echo("wrong types" + refused);
    var sly = { toString: function () { c.ParseHTML("<i>inner</i>"); c.SetDocumentBase("C:\\"); return "<img src=C:\\a.gif>"; } };
    WScript.Echo("re-entrant " + c.ParseHTML(sly) + " " + c.GetHTML());
    WScript.Echo("done");
    WScript.Quit(0);
} catch (e) {
    WScript.Echo("FAILED: " + (e.number >>> 0).toString(16) + " " + e.description);
    WScript.Quit(1);
}
