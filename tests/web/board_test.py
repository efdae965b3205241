"""The shop board in a real browser (headless Chromium through chromedriver).

Two simulated controllers, two collectors publishing to a real mosquitto and
a board-only node reading it:
  - node "fleet": both controllers, one of them named as an attack, its board
    behind an access token, publishing to the broker;
  - node "hall": a third device on the second controller, publishing;
  - node "board": no devices, Source="broker".
Exit code 77 (a skip) when Chromium, its driver or Selenium are missing.

  board_test.py ASSISTANT SIM MOSQUITTO [SLOW_FACTOR]
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import boardkit  # noqa: E402

ATTACK = "<img src=x onerror=alert(1)>"
SIMS = ("127.0.0.151", "127.0.0.152")
TOKEN = "s3cret-board"


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def by_name(machines, name):
    return next((m for m in machines if m.get("name") == name), None)


def main():
    assistant, sim, mosquitto = sys.argv[1:4]
    slow = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    missing = boardkit.chromium_missing()
    if missing:
        print("SKIP:", missing)
        return 77
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    with boardkit.Shop(assistant, sim, mosquitto) as shop:
        sims = [shop.simulator("--address", address) for address in SIMS]
        broker = shop.broker()
        fleet = shop.node("fleet", devices=[("Mill 1", SIMS[0], "f1"), (ATTACK, SIMS[1], "f2")],
                          web_port=boardkit.free_port(), mqtt_port=broker, token=TOKEN)
        shop.node("hall", devices=[("Lathe 2", SIMS[1], "h2")], mqtt_port=broker)
        board = shop.node("board", web_port=boardkit.free_port(), source="broker", mqtt_port=broker,
                          publish=False)

        # The API behind the token; both controllers answering.
        machines = fleet.wait_for_fleet(
            lambda ms: len(ms) == 2 and all(m["state"] == "idle" for m in ms), 20 * slow,
            "both controllers idle on /api/fleet")
        check(set(machines[0]) >= {"id", "name", "state", "program", "pieces", "target", "since", "utilization"},
              "fields of /api/fleet: %s" % machines[0])
        ids = {m["name"]: m["id"] for m in machines}
        check(boardkit.request(fleet.port, "/")[0] == 401, "no token, no board")
        check(boardkit.request(fleet.port, "/api/fleet", headers={"Authorization": "Bearer wrong"})[0] == 401,
              "a wrong token is refused")
        board.wait_for_fleet(lambda ms: len(ms) >= 1, 20 * slow, "the board-only node answering")
        check(boardkit.request(board.port, "/no/such/page")[0] == 404, "an unknown path is 404")
        for method in ("POST", "PUT", "DELETE"):
            status, _, _ = boardkit.request(board.port, "/", method=method)
            check(status == 405, "%s is 405, not %d" % (method, status))
        check(boardkit.request(board.port, "/", method="HEAD")[0] == 200, "HEAD is served")

        driver = boardkit.browser()
        try:
            wait = WebDriverWait(driver, 10 * slow, poll_frequency=0.05)

            def tile(machine_id):
                found = driver.find_elements(By.CSS_SELECTOR, '[data-machine="%s"]' % machine_id)
                return found[0] if found else None

            # The token from the address, kept in a cookie for what follows.
            driver.get(fleet.url("/?token=" + TOKEN))
            wait.until(lambda d: tile(ids["Mill 1"]) and tile(ids[ATTACK]))
            check(tile(ids["Mill 1"]).get_attribute("data-state") == "idle", "the mill's tile is idle")
            name = tile(ids[ATTACK]).find_element(By.CSS_SELECTOR, ".name")
            check(name.text == ATTACK, "the name shows as text: %r" % name.text)
            check(not driver.find_elements(By.CSS_SELECTOR, 'img[src="x"]'), "no img element from a name")

            # A change on the controller reaches the tile, without a reload.
            driver.execute_script("window.vexaMarker = 1")
            sims[0].set_state(0, "alarm")
            WebDriverWait(driver, 2 * slow, poll_frequency=0.05).until(
                lambda d: tile(ids["Mill 1"]).get_attribute("data-state") == "alarm")
            check(driver.execute_script("return window.vexaMarker") == 1, "the board was not reloaded")

            driver.get(fleet.url("/machine/%s" % ids[ATTACK]))
            wait.until(lambda d: ATTACK in d.find_element(By.TAG_NAME, "body").text)
            check(not driver.find_elements(By.CSS_SELECTOR, 'img[src="x"]'), "no img element on the machine page")

            # The board-only node: the machines of both collectors, live.
            driver.get(board.url("/?lang=en"))
            # (The broker's payloads carry no names: the tiles are named by their topic IDs.)
            wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "[data-machine]")) == 3)
            shown = {e.get_attribute("data-machine") for e in driver.find_elements(By.CSS_SELECTOR, "[data-machine]")}
            hall = shown - set(ids.values())
            check(len(hall) == 1 and hall.pop().endswith("-h2"), "the board-only node shows %s" % shown)
            sims[1].set_state(0, "running")
            wait.until(lambda d: all(e.get_attribute("data-state") == "running"
                                     for e in d.find_elements(By.CSS_SELECTOR, "[data-machine]")
                                     if e.get_attribute("data-machine") != ids["Mill 1"]))

            try:
                driver.switch_to.alert
                check(False, "an alert opened")
            except NoAlertPresentException:
                pass
            errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
            check(not errors, "errors on the console: %s" % errors)

            # The node gone: the board says so instead of showing old states as live.
            shop.stop(board.process)
            wait.until(lambda d: "connection lost" in d.find_element(By.ID, "connection").text)
        finally:
            driver.quit()
    print("board in the browser: all seen")
    return 0


if __name__ == "__main__":
    sys.exit(main())
