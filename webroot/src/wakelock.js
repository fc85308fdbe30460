// The phone's screen stays on while the panel is in sight: a screen that dims and locks hides
// the page, which lets go of every held key and button in the middle of a manoeuvre.
// The Screen Wake Lock API keeps it on where the browser offers and grants it (only to secure
// pages, so a phone on plain HTTP usually does not); otherwise a muted, inline, looping video
// does, which browsers take as a reason to stay awake. Either starts with a tap (a video may
// need one to play), stops when the page is hidden, and starts again with the next tap once the
// page is back. The footer's button turns it off and on; the page remembers the choice.

import { WAKE_VIDEO } from "./wakevideo.js";

const CHOICE_KEY = "tapdeck-keep-screen-on";
// Events that count as a tap: the ones that let a page start a video.
const TAPS = ["pointerup", "touchend", "click", "keydown"];

function readChoice() {
  try {
    return window.localStorage.getItem(CHOICE_KEY) !== "off";
  } catch (e) {
    return true; // no storage (a private window): the default
  }
}

function saveChoice(on) {
  try {
    window.localStorage.setItem(CHOICE_KEY, on ? "on" : "off");
  } catch (e) { /* not remembered, but still applied */ }
}

// The video covers the viewport behind the page (Chromium keeps the screen on for a muted
// video only when it is mostly in view and not tiny); it is black and never seen.
function makeVideo() {
  const video = document.createElement("video");
  video.className = "wake-video";
  video.muted = true;
  video.loop = true;
  video.setAttribute("muted", "");
  video.setAttribute("playsinline", "");
  video.setAttribute("aria-hidden", "true");
  video.tabIndex = -1;
  video.disablePictureInPicture = true;
  video.src = WAKE_VIDEO;
  document.body.appendChild(video);
  return video;
}

export function setUpWakeLock() {
  const control = document.getElementById("wake");
  let wanted = readChoice();
  let state = ""; // "lock" or "video" while the screen is kept on; "idle" until a tap; "off"
  let sentinel = null;
  let video = null;
  let starting = false;

  // The button shows the choice (pressed or not) and what keeps the screen on (data-awake).
  function show(next) {
    state = next;
    if (!control) return;
    control.dataset.awake = state;
    control.setAttribute("aria-pressed", wanted ? "true" : "false");
    control.title = !wanted ? "The screen may dim and lock: tap to keep it on"
                  : state === "idle" ? "The screen stays on from the next tap"
                  : "The screen stays on while this page is in sight";
  }

  function requestLock() {
    if (!navigator.wakeLock || !window.isSecureContext) return Promise.resolve(null);
    return navigator.wakeLock.request("screen").then((lock) => lock, () => null);
  }

  function playVideo() {
    if (!video) {
      video = makeVideo();
      video.addEventListener("pause", () => { if (state === "video") show("idle"); });
    }
    const played = video.play();
    return Promise.resolve(played).then(() => "video", () => "idle");
  }

  function start() {
    if (!wanted || starting || state === "lock" || state === "video" || document.visibilityState !== "visible") return;
    starting = true;
    requestLock().then((lock) => {
      if (!lock) return playVideo();
      sentinel = lock;
      // Released by the browser (the page was hidden): the next tap asks again.
      lock.addEventListener("release", () => {
        if (sentinel === lock) sentinel = null;
        if (state === "lock") show(wanted ? "idle" : "off");
      });
      return "lock";
    }).then((next) => {
      starting = false;
      // Turned off, or hidden, while the request was under way.
      if (!wanted || document.visibilityState !== "visible") stop();
      else show(next);
    });
  }

  function stop() {
    if (sentinel) {
      const lock = sentinel;
      sentinel = null;
      lock.release().catch(() => {});
    }
    if (video && !video.paused) video.pause();
    show(wanted ? "idle" : "off");
  }

  TAPS.forEach((type) => document.addEventListener(type, (event) => {
    if (!control || !control.contains(event.target)) start();
  }, true));
  document.addEventListener("visibilitychange", () => { if (document.visibilityState !== "visible") stop(); });
  window.addEventListener("pagehide", stop);
  if (control) {
    control.addEventListener("click", () => {
      wanted = !wanted;
      saveChoice(wanted);
      if (!wanted) return stop();
      show("idle");
      start();
    });
  }
  show(wanted ? "idle" : "off");
}
