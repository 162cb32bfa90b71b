"""The user's guide as one HTML file with its pictures inside, for the zip."""
import base64
import os
import re
import sys

import markdown


def main(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    body = markdown.markdown(text, extensions=["tables"])
    folder = os.path.dirname(source)

    def inline(match):
        path = os.path.join(folder, match.group(1))
        with open(path, "rb") as img:
            data = base64.b64encode(img.read()).decode("ascii")
        return 'src="data:image/png;base64,' + data + '"'

    body = re.sub(r'src="([^"]+\.png)"', inline, body)
    title = text.splitlines()[0].lstrip("# ").strip()
    html = (
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>" + title + "</title>\n<style>\n"
        "body{font-family:'Meiryo','MS PGothic',sans-serif;max-width:46em;margin:2em auto;"
        "line-height:1.7;padding:0 1em}\n"
        "table{border-collapse:collapse}td,th{border:1px solid #999;padding:.3em .6em;"
        "vertical-align:top}\nimg{max-width:100%;border:1px solid #ccc}\n"
        "blockquote{background:#f4f4f4;margin:0;padding:.5em 1em}\n"
        "</style>\n</head>\n<body>\n" + body + "\n</body>\n</html>\n"
    )
    with open(target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(html)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
