#pragma once

// The text planted on screens that real applications render: secrets of the five built-in kinds
// as terminals and web pages show them, benign near-misses that look like them and are not, and
// plain lines. Each line is made of pieces, so where its secret lies in it is known exactly; a
// piece may carry an accent (a terminal's colour, a page's emphasis). Seeded: one seed, one text.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/sensitive_content.h"

namespace corvane::testing::real_application {

enum class LineRole { secret, nearMiss, plain };

struct PlantedPiece {
  std::string text;
  bool secret = false;
  int accent = 0;  // 0: the text colour; 1 to 4: the application's accents
};

struct PlantedLine {
  std::vector<PlantedPiece> pieces;
  LineRole role = LineRole::plain;
  std::optional<model::SensitiveKind> kind;  // for a secret line

  std::string text() const {
    std::string all;
    for (const auto& piece : pieces) all += piece.text;
    return all;
  }
  // The secret's first character and its length within text(); {0, 0} without a secret.
  std::pair<std::size_t, std::size_t> secretSpan() const {
    std::size_t at = 0;
    for (const auto& piece : pieces) {
      if (piece.secret) return {at, piece.text.size()};
      at += piece.text.size();
    }
    return {0, 0};
  }
};

// Makes lines in the words of an operations team's terminals and admin pages; the kinds of
// secret come round in turn so that every screen holds each kind.
class PlantedTextMaker {
 public:
  using Kind = model::SensitiveKind;

  explicit PlantedTextMaker(std::uint32_t seed) : random_(seed) {}

  Kind nextKind() {
    static const Kind kinds[] = {Kind::apiKey, Kind::email, Kind::phoneNumber, Kind::revenue,
                                 Kind::internalURL};
    return kinds[turn_++ % std::size(kinds)];
  }

  std::string pick(const std::vector<std::string>& choices) {
    return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random_)];
  }
  int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  // A secret of `kind`, as it is pasted or printed.
  std::string secret(Kind kind) {
    const std::string alnum = "abcdefghjkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    switch (kind) {
      case Kind::apiKey:
        return pick({"sk-proj-" + characters(alnum, 22), "sk-" + characters(alnum, 28),
                     "ghp_" + characters(alnum, 30),
                     "AKIA" + characters("ABCDEFGHJKLMNPQRSTUVWXYZ234567", 16)});
      case Kind::email:
        return pick({"dana.whitfield", "k.osei", "billing", "priya_s", "noc-alerts", "r.okafor"}) +
               "@" + pick({"larkspur", "tidewater", "bramblecorp", "oakridge-labs"}) + "." +
               pick({"net", "dev", "co.uk", "com"});
      case Kind::phoneNumber:
        return pick({"+1 646 555 " + digits(4), "(503) 555-" + digits(4),
                     "+44 161 496 " + digits(4), "030 5550 " + digits(4)});
      case Kind::revenue:
        return "$" + std::to_string(number(1, 9)) + "," + digits(3) + "," + digits(3) +
               pick({"", ".00", " ARR", " MRR"});
      case Kind::internalURL:
        return pick({"https://", "", "http://"}) +
               pick({"staging", "internal", "admin", "staging-eu", "internal-docs"}) + "." +
               pick({"tidewater", "larkspur", "bramblecorp"}) + "." + pick({"dev", "net", "io"}) +
               pick({"/deploys/" + digits(4), "/wiki/Runbook", "/queues", "", "/grafana"});
      case Kind::customer:
        break;
    }
    return {};
  }

  // A line of terminal output holding a secret of `kind`.
  PlantedLine terminalSecretLine(Kind kind) {
    const std::string value = secret(kind);
    switch (kind) {
      case Kind::apiKey:
        return secretLine(kind,
                          pick({"export PAYMENTS_TOKEN=", "STRIPE_SECRET=", "  \"token\": \"",
                                "aws_access_key_id = ", "curl -sH 'Authorization: Bearer "}),
                          value, pick({"", " ", "\","}));
      case Kind::email:
        return secretLine(
            kind, pick({"Author: Dana Whitfield <", "MAIL_FROM=", "notify: sent to ", "owner    "}),
            value, pick({"", " (ok)", ">"}));
      case Kind::phoneNumber:
        return secretLine(kind, pick({"ONCALL_PHONE=", "pager: ", "escalate to ", "  phone:  "}),
                          value, pick({"", " (24/7)", " weekdays"}));
      case Kind::revenue:
        return secretLine(kind, pick({" 2026-Q3 | ", "invoice run total ", "  booked   ", "net: "}),
                          value, pick({"", " | on plan", " (final)"}));
      case Kind::internalURL:
        return secretLine(kind, pick({"DASHBOARD_URL=", "Deployed to ", "remote: see ", "  url: "}),
                          value, "");
      case Kind::customer:
        break;
    }
    return {};
  }

  // Terminal output that looks a little like a secret and is not one.
  PlantedLine terminalNearMiss() {
    return {{{pick({"pip install sk-video==1.1.10", "task-forecast.csv    12K  Nov 30",
                    "ghp tokens rotate every 90 days", "AKIA ids are public, keys are not",
                    "mailto is off for dana at larkspur", "build 2026.11 took 412.5 s",
                    "listening on port 5550, pid 12345", "echo $HOME $SHELL",
                    "staging deploy queued (3 ahead)", "admin rights needed for this step",
                    "invoice #48213 paid in full", "version 10.4.2201 (build 88123)",
                    "internal tools moved to the new VPN", "cost center 4410 / team 27"})}},
            LineRole::nearMiss,
            std::nullopt};
  }

  PlantedLine terminalPlainLine() {
    return {{{pick({"drwxr-xr-x  4 dana staff  128 Nov 30 09:12 migrations",
                    "   Compiling ledger-core v0.8.1 (/srv/ledger/core)",
                    "    Finished release [optimized] target(s) in 41.27s",
                    "test result: ok. 212 passed; 0 failed; 3 ignored",
                    "On branch main, your branch is up to date.", "Already up to date.",
                    "[worker-3] batch 311 finished in 42 ms", "total 48",
                    "-rw-r--r--  1 dana staff  2.1K Nov 29 17:40 README.md",
                    "Fetching origin and pruning stale branches",
                    "warning: unused variable 'retries' in queue.rs",
                    "Reading package lists... Done", "Restarting ledger-worker.service ... done"}),
              false, number(0, 2) == 2 ? 4 : 0}},
            LineRole::plain,
            std::nullopt};
  }

  // A shell prompt with a command: plain.
  PlantedLine promptLine() {
    return {{{"dana@build-07", false, 1},
             {":", false, 0},
             {"~/ledger", false, 2},
             {"$ " + pick({"cat deploy/.env", "git log -3", "tail -n 12 logs/app.log",
                           "psql -c 'select * from bookings'", "kubectl get pods"})}},
            LineRole::plain,
            std::nullopt};
  }

  // A label of a page's field or card that holds a secret of `kind`, and one that does not.
  std::string pageLabel(Kind kind) {
    switch (kind) {
      case Kind::apiKey:
        return pick({"Webhook signing secret", "Deploy token", "Access key ID"});
      case Kind::email:
        return pick({"Billing contact", "Reply-to address", "Owner"});
      case Kind::phoneNumber:
        return pick({"Escalation line", "Support phone", "Pager"});
      case Kind::revenue:
        return pick({"Net bookings", "Quarter to date", "Annual run rate"});
      case Kind::internalURL:
        return pick({"Runbook", "Admin console", "Staging build"});
      case Kind::customer:
        break;
    }
    return {};
  }

  std::string pageNearMiss() {
    return pick({"Seats in use 1,204", "Uptime 99.95 %", "Ticket 48213 closed", "Build 2026.11.3",
                 "Region eu-west-2", "Plan: Team (annual)", "Tokens rotate every 90 days",
                 "Admin rights needed", "Next invoice on 12/01", "Port 5550 open",
                 "Staging is frozen until Monday", "Write to the team channel"});
  }

  std::string pagePlainLine() {
    return pick({"The nightly export finished without errors.",
                 "Two reviewers approved the change to the retry policy.",
                 "Move the weekly planning call to Thursday afternoon.",
                 "Dashboards refresh every fifteen minutes.",
                 "Archived projects stay readable for a year.",
                 "New members get read access by default.",
                 "The warehouse sync runs after the ledger closes.",
                 "Release notes are drafted by the on-call engineer.",
                 "Keep the shared folder tidy before the audit.",
                 "Rollbacks need a short note in the change log."});
  }

 private:
  std::string characters(const std::string& alphabet, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
      out += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random_)];
    return out;
  }
  std::string digits(int count) { return characters("0123456789", count); }

  static PlantedLine secretLine(Kind kind, std::string lead, std::string value, std::string tail) {
    return {
        {{std::move(lead)}, {std::move(value), true}, {std::move(tail)}}, LineRole::secret, kind};
  }

  std::mt19937 random_;
  std::size_t turn_ = 0;
};

}  // namespace corvane::testing::real_application
