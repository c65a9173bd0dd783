#include "app/HelpText.h"

namespace corvane {

QString HelpHtml() {
    return QString::fromUtf8(R"HTML(
<h2>Corvane</h2>
<p>Corvane finds duplicate and near-duplicate pictures (JPEG, GIF and BMP files) in a folder
tree. It keeps a small colour signature of every picture in its signature table, finds the pairs
whose signatures lie within a margin of each other, and shows each pair side by side so you can
decide which file to keep.</p>

<h3>Workflow</h3>
<ol>
<li><b>Compute Signatures</b> tab: choose the <i>Compute Search Path</i> and press
<b>Compute Signatures</b>. Only new and changed pictures are read; records of files that are
gone are removed. The signature table lists every picture; clicking a row, or moving to it with
the arrow keys, shows the picture on the right.</li>
<li><b>Compute Matches</b> tab: set the <i>Match Margin</i> and press <b>Identify all
Matches</b>. Every pair of similar pictures becomes a row of the match table.
<b>Match Single Image</b> (on the first tab) finds the matches of the one picture selected in the
signature table instead.</li>
<li>Walk through the match table with the arrow keys. Below it the left picture, the right
picture and their difference picture are shown (black means no difference; "identical" is written
under it when every pixel is equal). Under each picture: pixel size, file size and date. Use the
buttons, or the keys below, to view, move or delete a file, or to drop the row.</li>
</ol>
<p>A running compute, conversion or identify run can be stopped with <b>Stop</b> or
<b>Esc</b>: it ends after the current picture, keeps everything done so far, and says
"(stopped)" in its summary. The next compute run carries on where it stopped. Closing the window
during a run stops it first.</p>

<h3>Settings</h3>
<table cellspacing="4">
<tr><td><b>Compute Search Path</b></td><td>the folder whose pictures are computed</td></tr>
<tr><td><b>Force</b></td><td>compute every picture again, even if its date has not changed
(not kept between starts)</td></tr>
<tr><td><b>Sub Dirs</b></td><td>include the sub-folders of the search path</td></tr>
<tr><td><b>Normalize</b></td><td>even out the brightness before computing a signature, so a
lighter or darker copy still matches</td></tr>
<tr><td><b>Incremental Match</b></td><td>look for the matches of each new or changed picture
during the compute run</td></tr>
<tr><td><b>Orientation</b></td><td>turn JPEG and HEIC pictures upright by their orientation tag
before computing their signatures (and when showing them)</td></tr>
<tr><td><b>Formats</b></td><td>the picture files the compute run reads; JPG, GIF and BMP by
default, also PNG, WebP, TIFF, HEIC and AVIF where the installed libraries decode them</td></tr>
<tr><td><b>Match Margin</b></td><td>how far signature values may differ: about 5-10 finds
"identical" pictures, 50 and more finds "similar" ones</td></tr>
<tr><td><b>Colors</b></td><td>compare each colour separately; otherwise compare the sum of the
colours (black and white)</td></tr>
<tr><td><b>Rotations</b></td><td>also match copies turned by 90, 180 or 270 degrees or
mirrored</td></tr>
<tr><td><b>Ignore matches on these paths</b></td><td>one folder per line; a pair is only
compared when both pictures lie in listed folders or both lie outside them</td></tr>
<tr><td><b>Sort By</b></td><td>order of the signature table: by name, or by file date</td></tr>
<tr><td><b>Clr</b></td><td>empties both tables (the picture files are not touched)</td></tr>
</table>
<p>Settings, the window size and the divider positions are kept in <tt>Corvane.INI</tt>, the
ignore list in <tt>NoMatches.Txt</tt>, pictures that could not be read in <tt>BadFiles.txt</tt>,
all in the program folder.</p>

<h3>Keys</h3>
<table cellspacing="4">
<tr><td><b>D</b> or <b>Delete</b></td><td>in the match table: delete the left or the right
file of the pair (you are asked which)</td></tr>
<tr><td><b>K</b></td><td>drop the current match row; no file is touched (as <b>Delete Match
Record</b>)</td></tr>
<tr><td><b>L</b> / <b>R</b></td><td>open the left / right picture in its default viewer</td></tr>
<tr><td><b>Ctrl+Z</b></td><td>undo the last delete or move</td></tr>
<tr><td><b>Esc</b></td><td>stop a running compute, conversion or identify run</td></tr>
<tr><td><b>Arrow keys</b></td><td>move through a table; the pictures follow</td></tr>
<tr><td><b>Tab</b></td><td>to the next control (also out of the ignore list)</td></tr>
<tr><td><b>Alt</b> + underlined letter</td><td>press that button</td></tr>
</table>
<p>A right click on a file cell of the match table opens a menu to delete the left or right
file.</p>

<h3>Hints between the pictures</h3>
<p>These only inform; they help to choose which file to keep. The arrow points to the file
meant.</p>
<table cellspacing="4">
<tr><td><b>Same Name!</b></td><td>both files have the same name (letter case ignored)</td></tr>
<tr><td><b>Same Path!</b></td><td>both files lie in the same folder</td></tr>
<tr><td><b>Bigger</b></td><td>that file is more than 10&nbsp;% bigger <i>on disk</i> (file
size, not pixel size)</td></tr>
<tr><td><b>FROM BMP</b></td><td>that file was converted from a bitmap (its name holds
From-BMP)</td></tr>
<tr><td><b>FAVE</b></td><td>that file lies in a favourites folder (FAVES)</td></tr>
<tr><td><b>SHORT</b></td><td>that file lies in a shallow folder, near the top of the disk</td></tr>
<tr><td><b>Animation!</b></td><td>that file lies in an ANIMATIONS folder</td></tr>
<tr><td>a name in <span style="color:red"><b>red</b></span></td><td>that name is the other's
name plus one character (photo1.jpg beside photo.jpg): often the later copy</td></tr>
</table>
<p>FROM BMP, FAVE, SHORT and Animation! appear only when the file <tt>tivrel.txt</tt> exists in
the program folder.</p>
)HTML");
}

}  // namespace corvane
