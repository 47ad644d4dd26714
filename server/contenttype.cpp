#include "server/contenttype.h"

#include <QHash>
#include <QStringView>

namespace server {

namespace {
struct ContentTypeEntry {
    const char16_t* extension;
    const char16_t* contentType;
};

// Compiled in on purpose: answers must not depend on the machine's MIME database.
constexpr ContentTypeEntry TABLE[] = {
    {u"ai", u"application/postscript"},
    {u"aif", u"audio/x-aiff"},
    {u"aifc", u"audio/x-aiff"},
    {u"aiff", u"audio/x-aiff"},
    {u"asc", u"text/plain"},
    {u"au", u"audio/basic"},
    {u"avi", u"video/x-msvideo"},
    {u"bcpio", u"application/x-bcpio"},
    {u"bin", u"application/octet-stream"},
    {u"c", u"text/plain"},
    {u"cc", u"text/plain"},
    {u"ccad", u"application/clariscad"},
    {u"cdf", u"application/x-netcdf"},
    {u"class", u"application/octet-stream"},
    {u"cpio", u"application/x-cpio"},
    {u"cpt", u"application/mac-compactpro"},
    {u"csh", u"application/x-csh"},
    {u"css", u"text/css"},
    {u"dcr", u"application/x-director"},
    {u"dir", u"application/x-director"},
    {u"dms", u"application/octet-stream"},
    {u"doc", u"application/msword"},
    {u"drw", u"application/drafting"},
    {u"dvi", u"application/x-dvi"},
    {u"dwg", u"application/acad"},
    {u"dxf", u"application/dxf"},
    {u"dxr", u"application/x-director"},
    {u"eps", u"application/postscript"},
    {u"etx", u"text/x-setext"},
    {u"exe", u"application/octet-stream"},
    {u"ez", u"application/andrew-inset"},
    {u"f", u"text/plain"},
    {u"f90", u"text/plain"},
    {u"fli", u"video/x-fli"},
    {u"gif", u"image/gif"},
    {u"gtar", u"application/x-gtar"},
    {u"gz", u"application/x-gzip"},
    {u"h", u"text/plain"},
    {u"hdf", u"application/x-hdf"},
    {u"hh", u"text/plain"},
    {u"hqx", u"application/mac-binhex40"},
    {u"htm", u"text/html"},
    {u"html", u"text/html"},
    {u"ice", u"x-conference/x-cooltalk"},
    {u"ief", u"image/ief"},
    {u"iges", u"model/iges"},
    {u"igs", u"model/iges"},
    {u"ips", u"application/x-ipscript"},
    {u"ipx", u"application/x-ipix"},
    {u"jpe", u"image/jpeg"},
    {u"jpeg", u"image/jpeg"},
    {u"jpg", u"image/jpeg"},
    {u"js", u"application/x-javascript"},
    {u"kar", u"audio/midi"},
    {u"latex", u"application/x-latex"},
    {u"lha", u"application/octet-stream"},
    {u"lsp", u"application/x-lisp"},
    {u"lzh", u"application/octet-stream"},
    {u"m", u"text/plain"},
    {u"man", u"application/x-troff-man"},
    {u"me", u"application/x-troff-me"},
    {u"mesh", u"model/mesh"},
    {u"mid", u"audio/midi"},
    {u"midi", u"audio/midi"},
    {u"mif", u"application/vnd.mif"},
    {u"mime", u"www/mime"},
    {u"mov", u"video/quicktime"},
    {u"movie", u"video/x-sgi-movie"},
    {u"mp2", u"audio/mpeg"},
    {u"mp3", u"audio/mpeg"},
    {u"mpe", u"video/mpeg"},
    {u"mpeg", u"video/mpeg"},
    {u"mpg", u"video/mpeg"},
    {u"mpga", u"audio/mpeg"},
    {u"ms", u"application/x-troff-ms"},
    {u"msh", u"model/mesh"},
    {u"nc", u"application/x-netcdf"},
    {u"oda", u"application/oda"},
    {u"pbm", u"image/x-portable-bitmap"},
    {u"pdb", u"chemical/x-pdb"},
    {u"pdf", u"application/pdf"},
    {u"pgm", u"image/x-portable-graymap"},
    {u"pgn", u"application/x-chess-pgn"},
    {u"png", u"image/png"},
    {u"pnm", u"image/x-portable-anymap"},
    {u"pot", u"application/mspowerpoint"},
    {u"ppm", u"image/x-portable-pixmap"},
    {u"pps", u"application/mspowerpoint"},
    {u"ppt", u"application/mspowerpoint"},
    {u"ppz", u"application/mspowerpoint"},
    {u"pre", u"application/x-freelance"},
    {u"prt", u"application/pro_eng"},
    {u"ps", u"application/postscript"},
    {u"qt", u"video/quicktime"},
    {u"ra", u"audio/x-realaudio"},
    {u"ram", u"audio/x-pn-realaudio"},
    {u"ras", u"image/cmu-raster"},
    {u"rgb", u"image/x-rgb"},
    {u"rm", u"audio/x-pn-realaudio"},
    {u"roff", u"application/x-troff"},
    {u"rpm", u"audio/x-pn-realaudio-plugin"},
    {u"rtf", u"text/rtf"},
    {u"rtx", u"text/richtext"},
    {u"scm", u"application/x-lotusscreencam"},
    {u"set", u"application/set"},
    {u"sgm", u"text/sgml"},
    {u"sgml", u"text/sgml"},
    {u"sh", u"application/x-sh"},
    {u"shar", u"application/x-shar"},
    {u"silo", u"model/mesh"},
    {u"sit", u"application/x-stuffit"},
    {u"skd", u"application/x-koan"},
    {u"skm", u"application/x-koan"},
    {u"skp", u"application/x-koan"},
    {u"skt", u"application/x-koan"},
    {u"smi", u"application/smil"},
    {u"smil", u"application/smil"},
    {u"snd", u"audio/basic"},
    {u"sol", u"application/solids"},
    {u"spl", u"application/x-futuresplash"},
    {u"src", u"application/x-wais-source"},
    {u"step", u"application/STEP"},
    {u"stl", u"application/SLA"},
    {u"stp", u"application/STEP"},
    {u"sv4cpio", u"application/x-sv4cpio"},
    {u"sv4crc", u"application/x-sv4crc"},
    {u"swf", u"application/x-shockwave-flash"},
    {u"t", u"application/x-troff"},
    {u"tar", u"application/x-tar"},
    {u"tcl", u"application/x-tcl"},
    {u"tex", u"application/x-tex"},
    {u"texi", u"application/x-texinfo"},
    {u"texinfo", u"application/x-texinfo"},
    {u"tif", u"image/tiff"},
    {u"tiff", u"image/tiff"},
    {u"tr", u"application/x-troff"},
    {u"tsi", u"audio/TSP-audio"},
    {u"tsp", u"application/dsptype"},
    {u"tsv", u"text/tab-separated-values"},
    {u"txt", u"text/plain"},
    {u"unv", u"application/i-deas"},
    {u"ustar", u"application/x-ustar"},
    {u"vcd", u"application/x-cdlink"},
    {u"vda", u"application/vda"},
    {u"viv", u"video/vnd.vivo"},
    {u"vivo", u"video/vnd.vivo"},
    {u"vrml", u"model/vrml"},
    {u"wav", u"audio/x-wav"},
    {u"wrl", u"model/vrml"},
    {u"xbm", u"image/x-xbitmap"},
    {u"xlc", u"application/vnd.ms-excel"},
    {u"xll", u"application/vnd.ms-excel"},
    {u"xlm", u"application/vnd.ms-excel"},
    {u"xls", u"application/vnd.ms-excel"},
    {u"xlw", u"application/vnd.ms-excel"},
    {u"xml", u"text/xml"},
    {u"xpm", u"image/x-xpixmap"},
    {u"xwd", u"image/x-xwindowdump"},
    {u"xyz", u"chemical/x-pdb"},
    {u"zip", u"application/zip"},
};

const QHash<QStringView, QString>& table() {
    static const QHash<QStringView, QString> lookup = [] {
        QHash<QStringView, QString> t;
        for (const ContentTypeEntry& e : TABLE)
            t.insert(QStringView(e.extension), QString::fromUtf16(e.contentType));
        return t;
    }();
    return lookup;
}
} // namespace

QString GetContentType(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QStringView extension =
        dot < 0 ? QStringView(fileName) : QStringView(fileName).mid(dot + 1);
    return table().value(extension);
}

int ContentTypeCount() {
    return static_cast<int>(std::size(TABLE));
}

} // namespace server
