"""Renders the README's pictures of the shop board with headless Chromium:
the board at TV width (1920 x 1080) and at phone width (390 x 844), in both
languages, and a machine's page, into docs/screenshots/{zh,en}/. The shop is
made up for the pictures: 16 animated simulated controllers and a machine
whose controller does not answer. Run by scripts/board-screenshots.sh in a network
namespace of its own.

  board_screenshots.py ASSISTANT SIM OUTPUT_ROOT
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import boardkit  # noqa: E402

FIRST = "127.34.0.1"
NAMES = ["Mill %d" % n for n in range(1, 9)] + ["Lathe %d" % n for n in range(1, 7)] + ["Grinder 1", "Drill 1"]
OFF = ("Lathe 7", "127.34.1.1", "off7")

SHOTS = (  # file, path, width, height, phone
    ("board-tv.png", "/", 1920, 1080, False),
    ("board-phone.png", "/", 390, 844, True),
    ("board-machine.png", "/machine/%s", 1280, 800, False),
)


def main():
    assistant, sim, root = sys.argv[1:4]
    with boardkit.Shop(assistant, sim) as shop:
        shop.simulator("--count", str(len(NAMES)), "--address", FIRST, "--animate", "--seed", "11", control=False)
        devices = [(name, boardkit.address_at(FIRST, i), "d%02d" % i) for i, name in enumerate(NAMES)] + [OFF]
        node = shop.node("shop", devices=devices, web_port=boardkit.free_port())
        machines = node.wait_for_fleet(
            lambda ms: sum(m["state"] not in ("connecting", "offline") for m in ms) == len(NAMES), 60,
            "the shop's controllers answering")
        # A few minutes of the day behind the machines' bands and times.
        time.sleep(10)
        mill = next(m["id"] for m in machines if m["name"] == "Mill 1")
        driver = boardkit.browser(1920, 1080, os.path.join(shop.dir, "chromium"))
        try:
            for language in ("zh", "en"):
                folder = os.path.join(root, language)
                os.makedirs(folder, exist_ok=True)
                for file, path, width, height, phone in SHOTS:
                    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                        "width": width, "height": height, "deviceScaleFactor": 2 if phone else 1, "mobile": phone})
                    driver.get(node.url((path % mill if "%s" in path else path) + "?lang=" + language))
                    boardkit.wait_until(
                        lambda: driver.execute_script(
                            "return document.querySelectorAll('[data-machine]').length > 0 || "
                            "document.readyState === 'complete' && location.pathname.startsWith('/machine/')"),
                        20, "the page drawn")
                    time.sleep(1)  # the stream's first state and the fonts
                    driver.save_screenshot(os.path.join(folder, file))
                    print("Written:", os.path.join(folder, file))
        finally:
            driver.quit()


if __name__ == "__main__":
    main()
