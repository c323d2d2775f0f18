#!/usr/bin/python3
"""The real window, driven over the accessibility bus as assistive tools drive it.

Starts the program, finds its units by their accessible description (the unit name),
logs in to the test server, imports the shipped example articles and checks the summary
the window shows and the rows the server holds. Every wait is for a state (a caption, a
dialog, an exit); the deadline only turns a hang into a failure.

usage: window_smoke.py PROGRAM SOURCE_DIR   (QB_TEST_SERVER, QB_TEST_USER, QB_TEST_PASSWORD)
"""
import os
import subprocess
import sys
import time

import pyatspi

DEADLINE_SECONDS = 180
DATABASE = "qb_test_smoke"


def fail(message):
    print("window smoke test: " + message, file=sys.stderr)
    sys.exit(1)


# The program under test; a wait ends at once when it has ended.
WINDOW = None


def wait_for(what, probe):
    end = time.monotonic() + DEADLINE_SECONDS
    while time.monotonic() < end:
        if WINDOW is not None and WINDOW.poll() is not None:
            fail("the program ended with status %d while waiting for %s" % (WINDOW.returncode, what))
        try:
            found = probe()
        except Exception:  # the tree changes under us while the window builds
            found = None
        if found:
            return found
        time.sleep(0.05)
    fail("gave up waiting for " + what)


def nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        yield node
        stack.extend(node[i] for i in range(node.childCount))


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def unit(app, name):
    for node in nodes(app):
        if node.description == name:
            return node
    return None


def set_text(app, name, value):
    node = wait_for(name, lambda: unit(app, name))
    node.queryEditableText().setTextContents(value)
    text = node.queryText()
    # A password box reads back as bullets: its length is what can be checked.
    if node.getRole() == pyatspi.ROLE_PASSWORD_TEXT:
        wait_for(name, lambda: text.characterCount == len(value))
    else:
        wait_for(name + " = " + value, lambda: text.getText(0, -1) == value)


def press(node):
    node.queryAction().doAction(0)


def dialog_with_text(app, fragment):
    """A message box of the program whose text holds fragment: (its text, its button)."""
    for window in app:
        if window is None or window.getRole() not in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT):
            continue
        text = button = None
        for node in nodes(window):
            if node.getRole() == pyatspi.ROLE_LABEL and fragment in (node.name or ""):
                text = node.name
            if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and button is None:
                button = node
        if text and button:
            return text, button
    return None


def sql(query):
    host, _, port = os.environ["QB_TEST_SERVER"].partition(":")
    return subprocess.run(
        ["mariadb", "--no-defaults", "-h", host, "-P", port or "3306",
         "-u", os.environ["QB_TEST_USER"], "-p" + os.environ["QB_TEST_PASSWORD"],
         "--default-character-set=utf8mb4", "-N", "-B", "-e", query],
        check=True, capture_output=True, text=True).stdout.strip()


def main():
    global WINDOW
    program, source = sys.argv[1], sys.argv[2]
    sql("drop database if exists " + DATABASE)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    env.pop("QT_QPA_PLATFORM", None)  # the real display (Xvfb), not offscreen
    window = subprocess.Popen([program], env=env, cwd=os.path.dirname(program))
    WINDOW = window
    try:
        app = wait_for("the program on the bus", lambda: application(window.pid))
        connect = wait_for("按钮建立连接", lambda: unit(app, "按钮建立连接"))
        set_text(app, "编辑框服务器", os.environ["QB_TEST_SERVER"])
        set_text(app, "编辑框用户名", os.environ["QB_TEST_USER"])
        set_text(app, "编辑框密码", os.environ["QB_TEST_PASSWORD"])
        press(connect)
        wait_for("the connection", lambda: connect.name == "断开连接")

        set_text(app, "编辑框库名", DATABASE)
        set_text(app, "编辑框表名", "articles")
        set_text(app, "编辑框文章目录", os.path.join(source, "examples", "articles"))
        set_text(app, "编辑框文件类型", "*.txt|*.html")
        press(unit(app, "按钮导入"))
        text, ok = wait_for("the summary", lambda: dialog_with_text(app, "导入完成"))
        if text != "导入完成，已导入 7 篇文章，当前表有 7 条记录！":
            fail("the summary says: " + text)
        press(ok)
        wait_for("the summary to close", lambda: dialog_with_text(app, "导入完成") is None)

        titles = sql("select group_concat(标题 order by 标题 separator '|') from "
                     + DATABASE + ".articles")
        expected = sorted(os.path.splitext(f)[0]
                          for _, _, files in os.walk(os.path.join(source, "examples", "articles"))
                          for f in files if f.endswith((".txt", ".html")))
        if titles.split("|") != expected:
            fail("rows: %s, files: %s" % (titles, expected))
        if sql("select count(*) from " + DATABASE + ".articles where 内容 = ''") != "0":
            fail("an article came in empty")
    finally:
        WINDOW = None
        window.terminate()  # the program closes its window the normal way
        try:
            code = window.wait(timeout=60)
        except subprocess.TimeoutExpired:
            window.kill()
            fail("the program did not end after SIGTERM")
    sql("drop database " + DATABASE)
    if code != 0:
        fail("the program ended with status %d" % code)
    print("window smoke test: imported 7 articles through the window")


if __name__ == "__main__":
    main()
