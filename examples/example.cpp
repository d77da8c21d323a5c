// Parses a small document, prints it back normalised, then its images.
#include <kivoparse/kivoparse.h>

#include <iostream>
#include <string>

int main() {
    kivoparse::Parser parser;
    parser.SetDocumentBase("C:\\web\\");
    parser.ParseHTML("<body background=C:\\web\\bg.jpg><img alt=logo src=C:/web/logo.gif>"
                     "<input type=image src=go.gif><IMG SRC=LOGO.GIF><a href=p.htm>x</a></body>");
    std::cout << parser.GetHTML() << "\n";
    for (const std::string& image : parser.GetImages()) std::cout << image << "\n";
    return 0;
}
